#pragma once
// File and folder names cross into Qt as the bytes the system gives: a name
// need not be UTF-8 (a Latin-1 "caf\xe9.fts" from an older disk). The core
// keeps those bytes; windows show a readable form and hand the bytes back.

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

class QUrl;

namespace quillon {

/// A name as a window shows it: bytes that are not UTF-8 show as the
/// replacement character, and a line end, tab or other control character as
/// its visible mark (U+2400 block), so the name shows whole on one line.
QString ShownFileName(std::string_view native);

/// A name the user typed (or the window showed) as the system's bytes.
std::string NativeFileName(const QString& text);

/// The bytes of a local file's path in a file URL ("file:///tmp/caf%E9.fts"),
/// undecoded from percent escapes byte for byte; "" for other URLs.
std::string NativeLocalFile(const QUrl& url);

/// A name kept as bytes inside a QVariant (item data) and back.
inline QByteArray NameBytes(std::string_view native) {
  return QByteArray(native.data(), static_cast<qsizetype>(native.size()));
}
inline std::string NameString(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace quillon

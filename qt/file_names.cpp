#include "qt/file_names.h"

#include <QFile>
#include <QUrl>

namespace quillon {

QString ShownFileName(std::string_view native) {
  QString shown = QFile::decodeName(NameBytes(native));
  for (QChar& c : shown) {
    const char16_t code = c.unicode();
    if (code < 0x20) {
      c = QChar(static_cast<char16_t>(0x2400 + code));  // "␊" for a line feed
    } else if (code == 0x7F) {
      c = QChar(static_cast<char16_t>(0x2421));
    }
  }
  return shown;
}

std::string NativeFileName(const QString& text) { return NameString(QFile::encodeName(text)); }

std::string NativeLocalFile(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // FullyEncoded keeps every byte that is not UTF-8 as its %XX escape, which
  // the byte-wise decoding below gives back exactly.
  const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
  return NameString(QByteArray::fromPercentEncoding(encoded));
}

}  // namespace quillon

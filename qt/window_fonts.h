#pragma once
// The fonts of the auxiliary windows, by family lists that fall back to
// metric-alike faces where the named ones are not installed.

#include <QFont>

namespace quillon {

/// The windows' own font: a bold 8.25-point sans serif.
QFont WindowFont();
/// An Arial-like sans serif of `points`, bold.
QFont BoldSansFont(double points);
/// A serif of `points`, bold.
QFont BoldSerifFont(double points);

}  // namespace quillon

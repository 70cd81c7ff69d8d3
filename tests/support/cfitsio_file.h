#pragma once
// CFITSIO as the independent reference of the fits/ tests: files written and
// read back through it, a status check that fails the test with CFITSIO's
// message, and a handle that closes itself.

#include <fitsio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace quillon::testing {

inline std::string CfitsioError(int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  return text;
}

// Stops the test (from a void function) when a CFITSIO call failed.
#define QUILLON_CFITSIO_OK(status) ASSERT_EQ(status, 0) << ::quillon::testing::CfitsioError(status)

/// A file opened or created by CFITSIO, closed when the object goes.
class CfitsioFile {
 public:
  static CfitsioFile Create(const std::filesystem::path& path) {
    std::filesystem::remove(path);
    CfitsioFile file;
    fits_create_diskfile(&file.f, path.c_str(), &file.status);
    return file;
  }
  static CfitsioFile Open(const std::filesystem::path& path) {
    CfitsioFile file;
    fits_open_diskfile(&file.f, path.c_str(), READONLY, &file.status);
    return file;
  }
  CfitsioFile(CfitsioFile&& other) noexcept : f(other.f), status(other.status) { other.f = nullptr; }
  ~CfitsioFile() {
    int ignored = 0;
    if (f != nullptr) fits_close_file(f, &ignored);
  }
  /// Closes now, keeping the status of the closing.
  void Close() {
    if (f != nullptr) fits_close_file(f, &status);
    f = nullptr;
  }

  fitsfile* f = nullptr;
  int status = 0;

 private:
  CfitsioFile() = default;
};

/// Equal values, or both NaN (a missing value).
inline bool SameValue(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace quillon::testing

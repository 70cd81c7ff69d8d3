// Binary table reading, the project's own reader (fits/binary_table) against
// CFITSIO, on the same files from the page cache. Each iteration opens the
// file, finds the table and reads one column into a buffer kept between
// iterations, as a load of a table spectrum would:
//   Own/CfitsioColumn/N: the FLUX column (1D) of an N-row table of WAVE 1D,
//     FLUX 1D, IVAR 1E, MASK 1J (24 bytes a row), N = 10^3 .. 10^7;
//   Own/CfitsioArrayCell: the FLUX cell of a one-row table of two
//     1,000,000-element 1D arrays (WAVE, FLUX);
//   PlainRead/N: the N-row file's bytes read whole into a buffer kept
//     between iterations, the floor of any reader of that file;
//   SpectrumFromTable/N: the whole load of the N-row table as a spectrum
//     (ReadSpectrumAt of file.fits[COADD]: roles, ivar and mask flags, the
//     level, the levelled values and their summary);
//   ListEchelle: ListSpectra of a 40-row echelle table (1024-element
//     WAVELENGTH, FLUX, ERROR, DQ cells with NELEM), as --list reads it;
//   ListCoadd: ListSpectra of a DESI-like coadd of 5 targets (B_, R_, Z_
//     WAVELENGTH, FLUX, IVAR and MASK images of 2751, 2326 and 2881 pixels);
//   PeerFile/KIND: with QUILLON_TABLE_FILES=DIR in the environment, the
//     whole load of DIR/table-KIND.fits[1] (KIND rows, arraycell, image), the
//     files bench/python_peer.py make-tables writes and its load-tables
//     times with astropy and specutils in the same run of scripts/bench;
//     PeerPlainRead/KIND, the bytes of the same file read whole.
// CFITSIO is opened with fits_open_diskfile, which takes the name as it is.

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <unistd.h>
#include <string>
#include <vector>

#include "fits/binary_table.h"
#include "fits/byte_source.h"
#include "fits/hdu_list.h"
#include "spectrum/spectrum_layouts.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon;

constexpr long kArrayLength = 1000000;

void Ok(int status) {
  if (status == 0) return;
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  throw std::runtime_error(std::string("CFITSIO: ") + text);
}

fs::path Folder() {
  static const fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("quillon-table-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("quillon-table-bench-" + std::to_string(::getpid()))); });
    return dir;
  }();
  return folder;
}

// Reads the whole file once, so that every run finds it in the page cache.
void Warm(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

// The N-row table, written once per N.
const fs::path& RowsFile(long rows) {
  static std::map<long, fs::path> files;
  auto found = files.find(rows);
  if (found != files.end()) return found->second;
  const fs::path path = Folder() / ("rows" + std::to_string(rows) + ".fits");
  fitsfile* f = nullptr;
  int st = 0;
  fits_create_diskfile(&f, path.c_str(), &st);
  fits_create_img(f, BYTE_IMG, 0, nullptr, &st);
  char wave[] = "WAVE", flux[] = "FLUX", ivar[] = "IVAR", mask[] = "MASK", d[] = "1D", e[] = "1E", j[] = "1J";
  char* names[] = {wave, flux, ivar, mask};
  char* forms[] = {d, d, e, j};
  fits_create_tbl(f, BINARY_TBL, rows, 4, names, forms, nullptr, "COADD", &st);
  const long chunk = 1 << 16;
  std::vector<double> values(static_cast<std::size_t>(chunk));
  for (long first = 0; first < rows; first += chunk) {
    const long n = std::min(chunk, rows - first);
    for (long i = 0; i < n; ++i) values[static_cast<std::size_t>(i)] = 3600.0 + 0.5 * static_cast<double>(first + i);
    fits_write_col(f, TDOUBLE, 1, first + 1, 1, n, values.data(), &st);
    for (long i = 0; i < n; ++i) values[static_cast<std::size_t>(i)] = std::sin(0.001 * static_cast<double>(first + i));
    fits_write_col(f, TDOUBLE, 2, first + 1, 1, n, values.data(), &st);
    fits_write_col(f, TDOUBLE, 3, first + 1, 1, n, values.data(), &st);
    fits_write_col(f, TDOUBLE, 4, first + 1, 1, n, values.data(), &st);
  }
  fits_close_file(f, &st);
  Ok(st);
  Warm(path);
  return files[rows] = path;
}

const fs::path& ArrayFile() {
  static const fs::path path = [] {
    const fs::path p = Folder() / "array.fits";
    fitsfile* f = nullptr;
    int st = 0;
    fits_create_diskfile(&f, p.c_str(), &st);
    fits_create_img(f, BYTE_IMG, 0, nullptr, &st);
    char wave[] = "WAVE", flux[] = "FLUX", form[] = "1000000D";
    char* names[] = {wave, flux};
    char* forms[] = {form, form};
    fits_create_tbl(f, BINARY_TBL, 1, 2, names, forms, nullptr, "SPECTRUM", &st);
    std::vector<double> values(kArrayLength);
    for (long i = 0; i < kArrayLength; ++i) values[static_cast<std::size_t>(i)] = std::cos(0.001 * static_cast<double>(i));
    fits_write_col(f, TDOUBLE, 1, 1, 1, kArrayLength, values.data(), &st);
    fits_write_col(f, TDOUBLE, 2, 1, 1, kArrayLength, values.data(), &st);
    fits_close_file(f, &st);
    Ok(st);
    Warm(p);
    return p;
  }();
  return path;
}

// The own reader: open, walk, open the table, read FLUX of rows [0, rows).
void OwnRead(const fs::path& path, long rows, double* out) {
  std::string reason, error;
  std::unique_ptr<FileSource> source = FileSource::Open(path.string(), reason);
  if (!source) throw std::runtime_error(reason);
  const HduList list = ListHdus(*source);
  const std::optional<BinaryTable> table = BinaryTable::Open(*source, list.hdus.at(1), error);
  if (!table || !table->ReadColumn(table->FindColumn("FLUX"), 0, rows, out, error))
    throw std::runtime_error(error);
}

void CfitsioRead(const fs::path& path, long count, double* out) {
  fitsfile* f = nullptr;
  int st = 0, col = 0, any = 0;
  double null = std::nan("");
  char name[] = "FLUX";
  fits_open_diskfile(&f, path.c_str(), READONLY, &st);
  fits_movabs_hdu(f, 2, nullptr, &st);
  fits_get_colnum(f, CASEINSEN, name, &col, &st);
  fits_read_col(f, TDOUBLE, col, 1, 1, count, &null, out, &any, &st);
  fits_close_file(f, &st);
  Ok(st);
}

void BM_OwnColumn(benchmark::State& state) {
  const long rows = static_cast<long>(state.range(0));
  const fs::path& path = RowsFile(rows);
  std::vector<double> out(static_cast<std::size_t>(rows));
  for (auto _ : state) {
    OwnRead(path, rows, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_CfitsioColumn(benchmark::State& state) {
  const long rows = static_cast<long>(state.range(0));
  const fs::path& path = RowsFile(rows);
  std::vector<double> out(static_cast<std::size_t>(rows));
  for (auto _ : state) {
    CfitsioRead(path, rows, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_OwnArrayCell(benchmark::State& state) {
  const fs::path& path = ArrayFile();
  std::vector<double> out(kArrayLength);
  for (auto _ : state) {
    OwnRead(path, 1, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kArrayLength);
}

void BM_CfitsioArrayCell(benchmark::State& state) {
  const fs::path& path = ArrayFile();
  std::vector<double> out(kArrayLength);
  for (auto _ : state) {
    CfitsioRead(path, kArrayLength, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kArrayLength);
}

void BM_PlainRead(benchmark::State& state) {
  const long rows = static_cast<long>(state.range(0));
  const fs::path& path = RowsFile(rows);
  std::vector<unsigned char> bytes(fs::file_size(path));
  for (auto _ : state) {
    std::string reason, error;
    std::unique_ptr<FileSource> source = FileSource::Open(path.string(), reason);
    if (!source || !source->Read(0, source->Size(), bytes.data(), error)) throw std::runtime_error(reason + error);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

void BM_SpectrumFromTable(benchmark::State& state) {
  const long rows = static_cast<long>(state.range(0));
  const std::string address = RowsFile(rows).string() + "[COADD]";
  for (auto _ : state) {
    ReadResult r = ReadSpectrumAt(address, "rows.fits", {});
    if (r.spectrum == nullptr) throw std::runtime_error(r.messages.empty() ? "refused" : r.messages.back());
    benchmark::DoNotOptimize(r.spectrum.get());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

const fs::path& EchelleFile() {
  static const fs::path path = [] {
    const fs::path p = Folder() / "echelle.fits";
    fitsfile* f = nullptr;
    int st = 0;
    constexpr long kWidth = 1024, kOrders = 40;
    fits_create_diskfile(&f, p.c_str(), &st);
    fits_create_img(f, BYTE_IMG, 0, nullptr, &st);
    char nelem[] = "NELEM", wave[] = "WAVELENGTH", flux[] = "FLUX", error[] = "ERROR", dq[] = "DQ";
    char i1[] = "1I", d[] = "1024D", e[] = "1024E", i[] = "1024I";
    char* names[] = {nelem, wave, flux, error, dq};
    char* forms[] = {i1, d, e, e, i};
    fits_create_tbl(f, BINARY_TBL, kOrders, 5, names, forms, nullptr, "SCI", &st);
    std::vector<double> values(kWidth);
    for (long row = 1; row <= kOrders; ++row) {
      double n = 1000;
      fits_write_col(f, TDOUBLE, 1, row, 1, 1, &n, &st);
      for (long k = 0; k < kWidth; ++k) values[static_cast<std::size_t>(k)] = 2000.0 + 40.0 * static_cast<double>(row) + 0.05 * static_cast<double>(k);
      fits_write_col(f, TDOUBLE, 2, row, 1, kWidth, values.data(), &st);
      for (long k = 0; k < kWidth; ++k) values[static_cast<std::size_t>(k)] = 1.5 + std::sin(0.01 * static_cast<double>(k));
      fits_write_col(f, TDOUBLE, 3, row, 1, kWidth, values.data(), &st);
      fits_write_col(f, TDOUBLE, 4, row, 1, kWidth, values.data(), &st);
      for (long k = 0; k < kWidth; ++k) values[static_cast<std::size_t>(k)] = 0;
      fits_write_col(f, TDOUBLE, 5, row, 1, kWidth, values.data(), &st);
    }
    fits_close_file(f, &st);
    Ok(st);
    Warm(p);
    return p;
  }();
  return path;
}

void BM_ListEchelle(benchmark::State& state) {
  const fs::path& path = EchelleFile();
  for (auto _ : state) {
    std::string reason;
    std::unique_ptr<FileSource> source = FileSource::Open(path.string(), reason);
    if (!source) throw std::runtime_error(reason);
    const SpectrumList list = ListSpectra(*source, "echelle.fits");
    if (list.spectra.size() != 40) throw std::runtime_error("not 40 spectra");
    benchmark::DoNotOptimize(list.spectra.data());
  }
}

// A DESI-like coadd: per camera a 1-D wavelength image and targets x pixels
// flux, inverse variance and mask images.
const fs::path& CoaddFile() {
  static const fs::path path = [] {
    const fs::path p = Folder() / "coadd.fits";
    fitsfile* f = nullptr;
    int st = 0;
    constexpr long kTargets = 5;
    fits_create_diskfile(&f, p.c_str(), &st);
    fits_create_img(f, BYTE_IMG, 0, nullptr, &st);
    const std::pair<const char*, long> cameras[] = {{"B", 2751}, {"R", 2326}, {"Z", 2881}};
    double start = 3600;
    for (const auto& [camera, pixels] : cameras) {
      const std::string prefix = std::string(camera) + "_";
      std::vector<double> wave(static_cast<std::size_t>(pixels));
      for (long k = 0; k < pixels; ++k) wave[static_cast<std::size_t>(k)] = start + 0.8 * static_cast<double>(k);
      start += 0.8 * static_cast<double>(pixels) - 100;
      long one[] = {pixels};
      fits_create_img(f, DOUBLE_IMG, 1, one, &st);
      std::string name = prefix + "WAVELENGTH";
      fits_update_key(f, TSTRING, "EXTNAME", name.data(), nullptr, &st);
      char unit[] = "Angstrom";
      fits_update_key(f, TSTRING, "BUNIT", unit, nullptr, &st);
      fits_write_img(f, TDOUBLE, 1, pixels, wave.data(), &st);
      long two[] = {pixels, kTargets};
      std::vector<double> values(static_cast<std::size_t>(pixels * kTargets));
      for (const char* role : {"FLUX", "IVAR", "MASK"}) {
        const bool mask = std::string(role) == "MASK";
        fits_create_img(f, mask ? LONG_IMG : FLOAT_IMG, 2, two, &st);
        name = prefix + role;
        fits_update_key(f, TSTRING, "EXTNAME", name.data(), nullptr, &st);
        for (std::size_t k = 0; k < values.size(); ++k)
          values[k] = mask ? 0 : 1.5 + std::sin(0.01 * static_cast<double>(k));
        fits_write_img(f, TDOUBLE, 1, static_cast<LONGLONG>(values.size()), values.data(), &st);
      }
    }
    fits_close_file(f, &st);
    Ok(st);
    Warm(p);
    return p;
  }();
  return path;
}

void BM_ListCoadd(benchmark::State& state) {
  const fs::path& path = CoaddFile();
  for (auto _ : state) {
    std::string reason;
    std::unique_ptr<FileSource> source = FileSource::Open(path.string(), reason);
    if (!source) throw std::runtime_error(reason);
    const SpectrumList list = ListSpectra(*source, "coadd.fits");
    if (list.spectra.size() != 15) throw std::runtime_error("not 15 spectra: " + list.refusal);
    benchmark::DoNotOptimize(list.spectra.data());
  }
}

void BM_PeerFile(benchmark::State& state, const std::string& path) {
  Warm(path);
  for (auto _ : state) {
    ReadResult r = ReadSpectrumAt(path + "[1]", "table.fits", {});
    if (r.spectrum == nullptr) throw std::runtime_error(r.messages.empty() ? "refused" : r.messages.back());
    benchmark::DoNotOptimize(r.spectrum.get());
  }
}

void BM_PeerPlainRead(benchmark::State& state, const std::string& path) {
  Warm(path);
  std::vector<unsigned char> bytes(fs::file_size(path));
  for (auto _ : state) {
    std::string reason, error;
    std::unique_ptr<FileSource> source = FileSource::Open(path, reason);
    if (!source || !source->Read(0, source->Size(), bytes.data(), error)) throw std::runtime_error(reason + error);
    benchmark::DoNotOptimize(bytes.data());
  }
}

BENCHMARK(BM_OwnColumn)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CfitsioColumn)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OwnArrayCell)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CfitsioArrayCell)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainRead)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectrumFromTable)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListEchelle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListCoadd)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (const char* folder = std::getenv("QUILLON_TABLE_FILES"); folder != nullptr && *folder != 0) {
    for (const char* kind : {"rows", "arraycell", "image"}) {
      const std::string path = (fs::path(folder) / ("table-" + std::string(kind) + ".fits")).string();
      if (!fs::exists(path)) continue;
      benchmark::RegisterBenchmark((std::string("BM_PeerFile/") + kind).c_str(), BM_PeerFile, path)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((std::string("BM_PeerPlainRead/") + kind).c_str(), BM_PeerPlainRead, path)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

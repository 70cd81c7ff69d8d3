// The example spectra in examples/: each loads silently with the header it
// was written with, they plot together, and make-examples writes the same
// bytes on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fits/gzip_source.h"
#include "spectrum/spectrum_layouts.h"
#include "spectrum/spectrum_reader.h"
#include "session/shared_state.h"
#include "session/slot_loading.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

struct ExampleCase {
  const char* file;
  const char* object;
  double bitpix;
  double bzero;  // 32768 marks unsigned 16-bit samples
  double naxis1;
  double lambda_start;  // Angstroms
  double lambda_end;
};

const ExampleCase kExamples[] = {
    {"hot-star.fts", "A0 V star", -32, 0, 3000, 3800, 6800},
    {"cool-star.fts", "K1 III star", 16, 32768, 2800, 3900, 6700},
    {"nebula.fts", "H II region", 32, 0, 2500, 6450, 6800},
    {"solar.fts", "Sun-like G2 V", -64, 0, 3000, 4000, 7000},
    {"quasar.fts", "QSO z=0.158", -32, 0, 2400, 4000, 7000},
};

// The spectra in binary tables: what the file lists, and what its plain name loads.
struct TableExampleCase {
  const char* file;
  const char* object;
  std::vector<std::string> addresses;  // every spectrum, in file order
  double lambda_first, lambda_last;    // of the spectrum the plain name loads, Angstroms
  int64_t flagged;                     // of that spectrum
};

const TableExampleCase kTableExamples[] = {
    {"galaxy-coadd.fts", "SF galaxy z=0.041", {"galaxy-coadd.fts[COADD]"}, 3850.35, 6845.42, 5},
    {"echelle-x1d.fts",
     "G2 V echelle",
     {"echelle-x1d.fts[SCI][row 0]", "echelle-x1d.fts[SCI][row 1]", "echelle-x1d.fts[SCI][row 2]"},
     4815,
     4914.712,
     0},
    {"echelle-multispec.fts",
     "G2 V echelle (IRAF)",
     {"echelle-multispec.fts[ap 1]", "echelle-multispec.fts[ap 2]", "echelle-multispec.fts[ap 3]",
      "echelle-multispec.fts[ap 4]", "echelle-multispec.fts[ap 5]", "echelle-multispec.fts[ap 6]",
      "echelle-multispec.fts[ap 7]", "echelle-multispec.fts[ap 8]"},
     4932.55,
     5045.05,
     0},
};

std::unique_ptr<SharedState> FreshState() {
  auto state = std::make_unique<SharedState>();
  state->FitsDirectory = EXAMPLES_DIR;
  return state;
}

void Load(SharedState& state, int16_t slot, const std::string& file, testing::RecordingServices& services) {
  testing::ScopedCurrentDir keep(fs::current_path());  // the loader enters the folder
  state.CurrentSlot = slot;
  state.Slots[slot].file_name = file;
  (void)LoadFitsSpectrum(state, slot, services, services, services);
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> FitsNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".fts") names.insert(entry.path().filename().string());
  return names;
}

class ExampleTest : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleTest, LoadsSilentlyWithItsHeaderValues) {
  const ExampleCase& c = GetParam();
  EXPECT_LT(fs::file_size(fs::path(EXAMPLES_DIR) / c.file), 40u * 1024) << "examples stay small";
  auto state = FreshState();
  testing::RecordingServices services;
  Load(*state, 1, c.file, services);

  EXPECT_TRUE(services.messages.empty()) << services.messages.front();
  ASSERT_TRUE(state->Slots[1].loaded);
  EXPECT_EQ(SlotHeader(*state, 1).object, c.object);
  EXPECT_EQ(SlotHeader(*state, 1).bitpix, c.bitpix);
  EXPECT_EQ(SlotHeader(*state, 1).bzero, c.bzero);
  EXPECT_EQ(SlotHeader(*state, 1).naxis1, c.naxis1);
  EXPECT_DOUBLE_EQ(SlotSpectrum(*state, 1).lambda_start, c.lambda_start);
  EXPECT_NEAR(SlotSpectrum(*state, 1).lambda_end, c.lambda_end, 1e-9);
  ASSERT_EQ(SlotSpectrum(*state, 1).intensity.size(), static_cast<std::size_t>(c.naxis1) + 1);

  const double norm = SlotSpectrum(*state, 1).norm;
  EXPECT_TRUE(std::isfinite(norm) && norm > 1) << norm;
  // Curves that plot together: no peak flattens the others on the shared axis.
  EXPECT_LT(SlotSpectrum(*state, 1).levelled_max, 800);
  const auto& samples = SlotSpectrum(*state, 1).intensity;
  EXPECT_TRUE(std::all_of(samples.begin() + 1, samples.end(), [](double v) { return std::isfinite(v) && v >= 0; }));
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<ExampleCase>& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(ExamplesTest, TableSpectraListEverySpectrumAndLoadTheFirstSilently) {
  for (const TableExampleCase& c : kTableExamples) {
    SCOPED_TRACE(c.file);
    EXPECT_LT(fs::file_size(fs::path(EXAMPLES_DIR) / c.file), 64u * 1024) << "examples stay small";
    std::string reason;
    const auto source = OpenFitsBytes((fs::path(EXAMPLES_DIR) / c.file).string(), reason);
    ASSERT_TRUE(source) << reason;
    const SpectrumList list = ListSpectra(*source, c.file);
    std::vector<std::string> addresses;
    for (const SpectrumListEntry& entry : list.spectra) {
      addresses.push_back(entry.address);
      EXPECT_TRUE(entry.uncertainty) << entry.address;
    }
    EXPECT_EQ(addresses, c.addresses);
    EXPECT_TRUE(list.notes.empty()) << list.notes.front();

    auto state = FreshState();
    testing::RecordingServices services;
    Load(*state, 1, c.file, services);
    EXPECT_TRUE(services.messages.empty()) << services.messages.front();
    ASSERT_TRUE(state->Slots[1].loaded);
    EXPECT_EQ(SlotHeader(*state, 1).object, c.object);
    ASSERT_FALSE(list.spectra.empty());
    // A file of several spectra also loads whole, in one row, without a word.
    if (c.addresses.size() > 1) {
      ASSERT_FALSE(list.spectra[0].whole_address.empty());
      Load(*state, 2, list.spectra[0].whole_address, services);
      EXPECT_TRUE(services.messages.empty()) << services.messages.front();
      EXPECT_EQ(SlotSpectrum(*state, 2).runs.size(), c.addresses.size());
    }
    EXPECT_NEAR(list.spectra[0].wave_first, c.lambda_first, 0.01);
    EXPECT_NEAR(list.spectra[0].wave_last, c.lambda_last, 0.01);
    EXPECT_EQ(list.spectra[0].flagged, c.flagged);
    EXPECT_NEAR(SlotSpectrum(*state, 1).lambda_end, c.lambda_last, 0.01);
    EXPECT_LT(SlotSpectrum(*state, 1).levelled_max, 800);
  }
}

TEST(ExamplesTest, TheFolderHoldsExactlyTheListedExamples) {
  std::set<std::string> listed;
  for (const ExampleCase& c : kExamples) listed.insert(c.file);
  for (const TableExampleCase& c : kTableExamples) listed.insert(c.file);
  EXPECT_EQ(FitsNames(EXAMPLES_DIR), listed);
}

TEST(ExamplesTest, AllLoadTogetherIntoOneWavelengthRange) {
  auto state = FreshState();
  testing::RecordingServices services;
  int16_t slot = 0;
  for (const ExampleCase& c : kExamples) Load(*state, ++slot, c.file, services);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_EQ(CountLoadedSlots(*state), static_cast<int16_t>(std::size(kExamples)));
  EXPECT_DOUBLE_EQ(state->DataLambdaMin, 3800);
  EXPECT_DOUBLE_EQ(state->DataLambdaMax, 7000);
  EXPECT_DOUBLE_EQ(state->PlotLambdaMin, 3800);
  EXPECT_DOUBLE_EQ(state->PlotLambdaMax, 7000);
}

int RunMakeExamples(const fs::path& folder) {
  const std::string command =
      std::string("'") + MAKE_EXAMPLES_PATH + "' '" + folder.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str());
}

TEST(MakeExamplesTest, TwoRunsWriteTheSameBytesAsTheCommittedHeaders) {
  testing::TempDir dir;
  const fs::path first = dir / "first", second = dir / "second/nested";  // the folder is created
  ASSERT_EQ(RunMakeExamples(first), 0);
  ASSERT_EQ(RunMakeExamples(second), 0);
  ASSERT_EQ(FitsNames(first), FitsNames(EXAMPLES_DIR));
  for (const ExampleCase& c : kExamples) {
    SCOPED_TRACE(c.file);
    const std::string a = Bytes(first / c.file), b = Bytes(second / c.file);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "make-examples is not deterministic";
    // The committed file has the same layout and header; its samples may
    // differ in the last bits where another maths library rounds differently.
    const std::string committed = Bytes(fs::path(EXAMPLES_DIR) / c.file);
    EXPECT_EQ(committed.size(), a.size());
    EXPECT_EQ(committed.substr(0, 2880), a.substr(0, 2880)) << "examples/ is out of date: run make-examples examples";
  }
  for (const TableExampleCase& c : kTableExamples) {
    SCOPED_TRACE(c.file);
    const std::string a = Bytes(first / c.file), b = Bytes(second / c.file);
    EXPECT_TRUE(a == b) << "make-examples is not deterministic";
    // The primary header and the table's header, which fixes its layout.
    // (The multispec image has one header block; its samples follow.)
    const std::size_t header = std::string_view(c.file).find("multispec") != std::string_view::npos ? 2880 : 2 * 2880;
    const std::string committed = Bytes(fs::path(EXAMPLES_DIR) / c.file);
    EXPECT_EQ(committed.size(), a.size());
    EXPECT_EQ(committed.substr(0, header), a.substr(0, header)) << "examples/ is out of date: run make-examples examples";
  }
}

TEST(MakeExamplesTest, RefusesWrongArguments) {
  EXPECT_NE(std::system((std::string("'") + MAKE_EXAMPLES_PATH + "' >/dev/null 2>&1").c_str()), 0);
  EXPECT_NE(std::system((std::string("'") + MAKE_EXAMPLES_PATH + "' a b >/dev/null 2>&1").c_str()), 0);
  testing::TempDir dir;
  // A folder that cannot be made: its parent is a file.
  std::ofstream(dir / "file") << "x";
  EXPECT_NE(RunMakeExamples(dir / "file" / "sub"), 0);
}

}  // namespace
}  // namespace quillon

// quillon-inspect run as a program: the JSON line it prints for sound,
// damaged and odd files, its text form, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

ToolRun Inspect(const std::vector<std::string>& args) {
  testing::TempDir dir;
  std::string command = Quote(QUILLON_INSPECT_PATH);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " 2>" + Quote((dir / "stderr").string());
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(dir / "stderr");
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  return run;
}

std::string Example(const std::string& name) { return (fs::path(EXAMPLES_DIR) / name).string(); }

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A small sound spectrum with the given extra header cards.
std::string SmallFits(const testing::TempDir& dir, const std::string& name, const std::vector<std::string>& cards) {
  std::vector<double> values(200);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 100 + static_cast<double>(i % 7);
  std::vector<std::string> header = {"SIMPLE  =                    T", "BITPIX  =                  -32",
                                     "NAXIS   =                    1", "NAXIS1  =                  200"};
  header.insert(header.end(), cards.begin(), cards.end());
  const std::string path = (dir / name).string();
  testing::WriteBytes(path, testing::HeaderBlocks(header) + testing::BigEndianSamples(-32, values));
  return path;
}

// The text of one JSON member's value in `line`: a string, number or array
// as printed (the tool prints no blanks between tokens).
std::string Member(const std::string& line, const std::string& key) {
  const std::string name = "\"" + key + "\":";
  const std::size_t at = line.find(name);
  if (at == std::string::npos) return "<missing " + key + ">";
  std::size_t begin = at + name.size(), end = begin;
  if (line[begin] == '[') {
    end = line.find(']', begin) + 1;
  } else if (line[begin] == '"') {
    for (end = begin + 1; end < line.size() && line[end] != '"'; ++end)
      if (line[end] == '\\') ++end;
    ++end;
  } else {
    end = line.find_first_of(",}", begin);
  }
  return line.substr(begin, end - begin);
}

std::vector<double> Numbers(const std::string& array) {
  std::vector<double> out;
  const char* p = array.c_str() + 1;  // after '['
  while (*p != ']' && *p != '\0') {
    char* end = nullptr;
    out.push_back(std::strtod(p, &end));
    p = *end == ',' ? end + 1 : end;
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
    lines.push_back(text.substr(begin, end - begin));
  return lines;
}

TEST(QuillonInspectTest, OneJsonLineWithTheSlotsFieldsInOrder) {
  const ToolRun run = Inspect({Example("hot-star.fts")});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(Lines(run.out).size(), 1u) << run.out;
  const std::string line = Lines(run.out)[0];
  std::size_t last = 0;
  for (const char* key : {"file", "refused", "messages", "HeaderLineCount", "TextCardCount", "DataOffset",
                          "SlotBitpix", "SlotNaxis1", "SlotBzero", "SlotObject", "SlotLambda0", "SlotDispersion",
                          "SlotLambdaStart", "SlotLambdaEnd", "SlotNorm", "SlotLevelledMax", "SlotIntensity",
                          "SlotLevelled"}) {
    const std::size_t at = line.find(std::string("\"") + key + "\":");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at + 1, last) << key << " out of order";
    last = at + 1;
  }
  EXPECT_EQ(line.front(), '{');
  EXPECT_EQ(line.back(), '}');
  const std::pair<const char*, std::string> expected[] = {
      {"file", "\"" + Example("hot-star.fts") + "\""},
      {"refused", "false"},
      {"messages", "[]"},
      {"HeaderLineCount", "19"},
      {"DataOffset", "2880"},
      {"SlotBitpix", "-32"},
      {"SlotNaxis1", "3000"},
      {"SlotBzero", "0"},
      {"SlotObject", "\"A0 V star\""},
      {"SlotLambda0", "3800"},
      {"SlotDispersion", "1"},
      {"SlotLambdaStart", "3800"},
      {"SlotLambdaEnd", "6800"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(Member(line, key), value) << key;
  EXPECT_EQ(Numbers(Member(line, "SlotIntensity")).size(), 3000u);
  EXPECT_EQ(Numbers(Member(line, "SlotLevelled")).size(), 3000u);
  EXPECT_EQ(line.find("\"cards\""), std::string::npos) << "cards only with --cards";
}

// Reals print with 17 significant digits, so every decoded sample and every
// derived value reads back as the very double the viewer holds.
TEST(QuillonInspectTest, RealsRoundTrip) {
  testing::TempDir dir;
  testing::FitsImage image;
  image.bitpix = -64;
  image.raw = {0.1, 1.0 / 3.0, 2.5e-300, 123456789.123456789, -7.25, 100, 0.30000000000000004, 99.99999999999999};
  image.crval1 = 4861.333;
  image.cd1_1 = 0.1;
  image.object = "round trip";
  WriteFits(dir / "reals.fts", image);
  const ToolRun run = Inspect({(dir / "reals.fts").string()});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string line = Lines(run.out).at(0);
  EXPECT_EQ(Numbers(Member(line, "SlotIntensity")), image.raw);
  EXPECT_EQ(std::strtod(Member(line, "SlotLambda0").c_str(), nullptr), 4861.333);
  EXPECT_EQ(std::strtod(Member(line, "SlotDispersion").c_str(), nullptr), 0.1);
  const double norm = std::strtod(Member(line, "SlotNorm").c_str(), nullptr);
  const std::vector<double> levelled = Numbers(Member(line, "SlotLevelled"));
  ASSERT_EQ(levelled.size(), image.raw.size());
  for (std::size_t i = 0; i < levelled.size(); ++i) EXPECT_EQ(levelled[i], 100 * image.raw[i] / norm) << i;
}

TEST(QuillonInspectTest, RefusedFilesAreReadUnreadableOnesAreNot) {
  testing::TempDir dir;
  const std::string whole = Contents(Example("solar.fts"));
  const std::string truncated = (dir / "truncated.fts").string();
  testing::WriteBytes(truncated, whole.substr(0, 2880 + 1000));
  const std::string text = (dir / "notes.fts").string();
  testing::WriteBytes(text, "These are notes, not a spectrum.\n");
  const std::string eight = (dir / "eight.fts").string();
  testing::WriteBytes(eight, testing::HeaderBlocks({"SIMPLE  = T", "BITPIX  = 8", "NAXIS   = 1", "NAXIS1  = 100"}) +
                                 std::string(100, '\x40'));
  const std::string empty = (dir / "empty.fts").string();
  testing::WriteBytes(empty, "");
  struct Case {
    std::string file;
    int code;  // 0: read and refused; 2: could not be read at all
    std::string message;
  };
  const Case cases[] = {
      {truncated, 0, "The file \\\"truncated.fts\\\" is too short for its data: 3000 samples of 8 bytes"},
      {text, 0, "[\"This is not a fits file!  Please try again.\"]"},
      {eight, 0, "Sorry, this program does not support 8-bit integer data."},
      {empty, 2, "cannot be read"},
      {(dir / "missing.fts").string(), 2, "cannot be read"},
      {dir.path().string() + "/", 2, "it is a folder"},
      {"/", 2, "it is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ToolRun run = Inspect({c.file});
    EXPECT_EQ(run.code, c.code) << run.err;
    ASSERT_EQ(Lines(run.out).size(), 1u) << run.out;
    const std::string line = Lines(run.out)[0];
    EXPECT_EQ(Member(line, "refused"), "true");
    EXPECT_NE(Member(line, "messages").find(c.message), std::string::npos) << line;
    // Nothing partial is published.
    EXPECT_EQ(Member(line, "SlotIntensity"), "[]");
    EXPECT_EQ(Member(line, "SlotLevelled"), "[]");
    EXPECT_EQ(Member(line, "SlotNorm"), "0");
  }

  // Every file is reported, in order; one unreadable file sets the status.
  const ToolRun mixed = Inspect({Example("nebula.fts"), text, Example("quasar.fts")});
  EXPECT_EQ(mixed.code, 0);
  const std::vector<std::string> lines = Lines(mixed.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Member(lines[0], "refused"), "false");
  EXPECT_EQ(Member(lines[1], "refused"), "true");
  EXPECT_EQ(Member(lines[2], "file"), "\"" + Example("quasar.fts") + "\"");
  EXPECT_EQ(Inspect({Example("nebula.fts"), (dir / "missing.fts").string()}).code, 2);
}

TEST(QuillonInspectTest, KeywordsNameTheCalibrationCards) {
  testing::TempDir dir;
  const std::string file = SmallFits(dir, "wave.fts", {"WAVE0   =               5000.5", "DELTA   =                 0.25"});
  const ToolRun own = Inspect({"--keywords", "WAVE0", "DELTA", file});
  ASSERT_EQ(own.code, 0) << own.out << own.err;
  EXPECT_EQ(Member(own.out, "SlotLambda0"), "5000.5");
  EXPECT_EQ(Member(own.out, "SlotDispersion"), "0.25");
  EXPECT_EQ(Member(own.out, "SlotLambdaEnd"), "5050.5");
  EXPECT_EQ(Member(own.out, "messages"), "[]");
  EXPECT_EQ(Inspect({file, "--keywords", "WAVE0", "DELTA"}).out, own.out) << "after the files too";

  // The defaults find no card here: the viewer's two warnings, and it still loads.
  const ToolRun defaults = Inspect({file});
  EXPECT_EQ(defaults.code, 0);
  EXPECT_EQ(Member(defaults.out, "messages"),
            "[\"You need to set the keyword for Lambda 0.\",\"You need to set the keyword for dLambda/dP.\"]");
  EXPECT_EQ(Member(defaults.out, "refused"), "false");
  // Names are compared exactly, case included.
  EXPECT_NE(Inspect({"--keywords", "wave0", "delta", file}).out.find("Lambda 0"), std::string::npos);
}

TEST(QuillonInspectTest, TextAndCards) {
  const ToolRun text = Inspect({"--text", Example("cool-star.fts")});
  ASSERT_EQ(text.code, 0);
  EXPECT_EQ(text.out.rfind("file: " + Example("cool-star.fts") + "\nloaded: yes\n", 0), 0u) << text.out;
  for (const char* line : {"object: \"K1 III star\"\n", "bitpix: 16\n", "naxis1: 2800\n", "lambda0 (CRVAL1): ",
                           "wavelength end: 6700\n", "header cards: 21\n", "data offset: 2880\n"})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;

  const ToolRun cards = Inspect({"--text", "--cards", Example("cool-star.fts")});
  EXPECT_NE(cards.out.find("card 1: SIMPLE  =                    T / file does conform to FITS standard\n"),
            std::string::npos)
      << cards.out;
  EXPECT_NE(cards.out.find("card 8: BZERO   =                32768"), std::string::npos);
  EXPECT_NE(cards.out.find("card 22: END\n"), std::string::npos) << cards.out;

  const ToolRun json = Inspect({"--cards", Example("cool-star.fts"), Example("missing.fts")});
  const std::vector<std::string> lines = Lines(json.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Member(lines[0], "cards").rfind("[\"SIMPLE  =                    T / file does conform", 0), 0u);
  EXPECT_EQ(Member(lines[1], "cards"), "[]");
  EXPECT_EQ(lines[1].back(), '}');

  // A refused file in text form: its messages, and no values.
  const ToolRun missing = Inspect({"--text", Example("missing.fts")});
  EXPECT_NE(missing.out.find("message: The file "), std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("loaded: no\n"), std::string::npos);
  EXPECT_EQ(missing.out.find("naxis1:"), std::string::npos);
}

TEST(QuillonInspectTest, HeaderBytesCannotForgeOutput) {
  testing::TempDir dir;
  // An object name with a line break, an escape byte, a quote and a Latin-1 byte.
  const std::string file = SmallFits(dir, "odd.fts", {"OBJECT  = 'A\nB\x1b\"C\xE9'", "CRVAL1  = 4000", "CD1_1   = 1"});
  const ToolRun text = Inspect({"--text", file});
  ASSERT_EQ(text.code, 0) << text.out;
  EXPECT_NE(text.out.find("object: \"A\\x0aB\\x1b\"C\xE9\"\n"), std::string::npos) << text.out;
  const ToolRun json = Inspect({file});
  EXPECT_EQ(Member(json.out, "SlotObject"), "\"A\\u000aB\\u001b\\\"C\\u00e9\"") << json.out;
  EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << "one line per file";
}

TEST(QuillonInspectTest, UsageHelpAndVersion) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{}, "no FITS file given"},
      {{"--bogus", Example("solar.fts")}, "unknown option --bogus"},
      {{"--keywords"}, "--keywords needs two keyword names"},
      {{"--keywords", "CRVAL1"}, "--keywords needs two keyword names"},
      {{Example("solar.fts"), "--keywords", "CRVAL1"}, "--keywords needs two keyword names"},
      {{"--keywords", "", "CD1_1", Example("solar.fts")}, "not empty ones"},
      {{"--cards"}, "no FITS file given"},
      {{Example("solar.fts"), ""}, "an empty file name"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Inspect(c.args);
    EXPECT_EQ(run.code, 1) << c.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: quillon-inspect"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
  const ToolRun help = Inspect({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: quillon-inspect [--keywords LAMBDA0 DISPERSION]", 0), 0u) << help.out;
  const ToolRun version = Inspect({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("quillon-inspect ") + PROJECT_VERSION_TEXT + "\n");
  // "--" ends the options: a file may start with a dash.
  testing::TempDir dir;
  const std::string dashed = SmallFits(dir, "-dash.fts", {"CRVAL1  = 4000", "CD1_1   = 1"});
  const fs::path keep = fs::current_path();
  fs::current_path(dir.path());
  const ToolRun run = Inspect({"--", "-dash.fts"});
  fs::current_path(keep);
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_EQ(Member(run.out, "file"), "\"-dash.fts\"");
  EXPECT_EQ(Member(run.out, "refused"), "false");
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// Wavelength gives where each sample is drawn, in Angstroms; Missing counts
// the samples printed as null.
TEST(QuillonInspectTest, WavelengthsAndMissingSamples) {
  testing::TempDir dir;
  testing::FitsImage image;
  image.bitpix = -32;
  image.raw = {1, 2, std::nan(""), 4, 5};
  image.extra_cards = {"CRVAL1  = 400.", "CRPIX1  = 2.", "CDELT1  = 0.5", "CUNIT1  = 'nm'"};
  WriteFits(dir / "nm.fits", image);
  const ToolRun run = Inspect({(dir / "nm.fits").string()});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string line = Lines(run.out).at(0);
  EXPECT_EQ(Member(line, "Wavelength"), "[3995,4000,4005,4010,4015]");
  EXPECT_EQ(Member(line, "Missing"), "1");
  EXPECT_EQ(Member(line, "SlotIntensity"), "[1,2,null,4,5]");
  EXPECT_NE(Member(line, "SlotLevelled").find(",null,"), std::string::npos);
  EXPECT_EQ(Member(line, "SlotLambda0"), "3990");

  const ToolRun text = Inspect({"--text", (dir / "nm.fits").string()});
  EXPECT_NE(text.out.find("wavelength scale: linear\nmissing samples: 1\n"), std::string::npos) << text.out;

  // A refused file has no wavelengths (the table holds no HDU 5).
  testing::WriteEmptyPrimaryWithTable(dir / "table.fits", 8, {}, {4000, 4002}, {1, 2});
  const std::string refused = Lines(Inspect({(dir / "table.fits[5]").string()}).out).at(0);
  EXPECT_EQ(Member(refused, "refused"), "true");
  EXPECT_EQ(Member(refused, "Wavelength"), "[]");
  EXPECT_EQ(Member(refused, "Missing"), "0");
  // A plain name is read as the viewer reads it: the primary is empty, so
  // the table after it is the spectrum.
  const std::string plain = Lines(Inspect({(dir / "table.fits").string()}).out).at(0);
  EXPECT_EQ(Member(plain, "refused"), "false");
  EXPECT_EQ(Member(plain, "Wavelength"), "[4000,4002]");
  // The table's own spectrum, by address: each sample's wavelength, its
  // uncertainty (none) and flags, which a primary-image spectrum does not print.
  const std::string table = Lines(Inspect({(dir / "table.fits[1]").string()}).out).at(0);
  EXPECT_EQ(Member(table, "Wavelength"), "[4000,4002]");
  EXPECT_EQ(Member(table, "Uncertainty"), "null");
  EXPECT_EQ(Member(table, "Flagged"), "0");
  EXPECT_EQ(Member(line, "Flagged"), "<missing Flagged>");
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// --list: one line a spectrum, in file order, with its address; a file with
// none prints its refusal line. An address prints the spectrum's own
// wavelengths, its uncertainty and its flags.
TEST(QuillonInspectTest, ListAndAddresses) {
  const std::string dir = std::string(TEST_DATA_DIR) + "/layouts/";
  const ToolRun list = Inspect({"--list", dir + "stis-x1d.fits", dir + "catalogue.fits", dir + "frequency.fits"});
  ASSERT_EQ(list.code, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 5u) << list.out;
  struct Want {
    const char* address;
    const char* row;
    const char* n;
    const char* first;
    const char* flagged;
  };
  const Want wants[] = {{"stis-x1d.fits[SCI][row 0]", "0", "64", "2000", "1"},
                        {"stis-x1d.fits[SCI][row 1]", "1", "60", "2040", "0"},
                        {"stis-x1d.fits[SCI][row 2]", "2", "50", "2080", "0"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Member(lines[i], "address"), "\"" + dir + wants[i].address + "\"");
    EXPECT_EQ(Member(lines[i], "hdu"), "1");
    EXPECT_EQ(Member(lines[i], "extname"), "\"SCI\"");
    EXPECT_EQ(Member(lines[i], "row"), wants[i].row);
    EXPECT_EQ(Member(lines[i], "n"), wants[i].n);
    EXPECT_EQ(Member(lines[i], "wave_first"), wants[i].first);
    EXPECT_EQ(Member(lines[i], "wave_unit"), "\"Angstrom\"");
    EXPECT_EQ(Member(lines[i], "flux_unit"), "\"erg/s/cm**2/Angstrom\"");
    EXPECT_EQ(Member(lines[i], "uncertainty"), "true");
    EXPECT_EQ(Member(lines[i], "flagged"), wants[i].flagged);
    EXPECT_EQ(Member(lines[i], "aperture"), "null");
  }
  EXPECT_EQ(Member(lines[3], "refused"), "true");
  EXPECT_NE(lines[3].find("holds no spectrum"), std::string::npos) << lines[3];
  EXPECT_EQ(Member(lines[4], "wave_first"), "null");  // a frequency axis
  EXPECT_EQ(Member(lines[4], "axis"), "\"frequency\"");

  const ToolRun one = Inspect({dir + "stis-x1d.fits[SCI][row 2]"});
  ASSERT_EQ(one.code, 0) << one.err;
  const std::string line = Lines(one.out).at(0);
  EXPECT_EQ(Member(line, "refused"), "false");
  EXPECT_EQ(Member(line, "SlotNaxis1"), "50");
  EXPECT_EQ(Member(line, "Flagged"), "0");
  const std::string sigma = Member(line, "Uncertainty");
  EXPECT_EQ(std::count(sigma.begin(), sigma.end(), ','), 49) << sigma;
  EXPECT_EQ(Member(line, "Wavelength").substr(0, 12), "[2080,2080.5");

  // An IRAF multispec spectrum of one line: its aperture number, and each
  // sample at the wavelength of its Legendre series (4000 + 100 x, x from -1
  // to 1 over pixels 1 to 200), in nanometres.
  testing::TempDir tmp;
  const std::string ms = SmallFits(tmp, "ms.fits",
                                   {"CTYPE1  = 'MULTISPE'", "WAT1_001= 'wtype=multispec label=Wavelength units=nm'",
                                    "WAT2_001= 'wtype=multispec spec1 = \"3 1 2 4000 1 200 0 0 INDEF 1 0 2 2 1 200 40'",
                                    "WAT2_002= '0 10\"'"});
  const ToolRun ms_list = Inspect({"--list", ms});
  ASSERT_EQ(ms_list.code, 0) << ms_list.err;
  EXPECT_EQ(Member(Lines(ms_list.out).at(0), "aperture"), "3");
  EXPECT_EQ(Member(Lines(ms_list.out).at(0), "address"), "\"" + ms + "[ap 3]\"");
  EXPECT_EQ(Member(Lines(ms_list.out).at(0), "wave_first"), "3900");
  const ToolRun ms_one = Inspect({ms + "[ap 3]"});
  ASSERT_EQ(ms_one.code, 0) << ms_one.err;
  const std::string wave = Member(Lines(ms_one.out).at(0), "Wavelength");
  EXPECT_EQ(wave.substr(0, 5), "[3900");
  EXPECT_EQ(wave.substr(wave.size() - 6), ",4100]");
  EXPECT_EQ(Member(Lines(ms_one.out).at(0), "Uncertainty"), "null");
}

}  // namespace
}  // namespace quillon

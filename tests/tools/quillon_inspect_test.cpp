// quillon-inspect run as a program: what it prints for sound, damaged and
// odd files, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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

TEST(QuillonInspectTest, PrintsWhatTheViewerReadsFromAnExample) {
  const ToolRun run = Inspect({Example("hot-star.fts")});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("file: " + Example("hot-star.fts") + "\nloaded: yes\n", 0), 0u) << run.out;
  for (const char* line :
       {"object: \"A0 V star\"\n", "bitpix: -32\n", "naxis1: 3000\n", "lambda0 (CRVAL1): 3800\n",
        "dispersion (CD1_1): 1\n", "wavelength start: 3800\n", "wavelength end: 6800\n", "header cards: 19\n",
        "text cards: ", "data offset: 2880\n", "level: ", "levelled max: "})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  EXPECT_EQ(run.out.find("message:"), std::string::npos);
  EXPECT_EQ(run.out.find("card 1:"), std::string::npos) << "cards only with --cards";
}

TEST(QuillonInspectTest, DamagedAndRefusedFilesShowTheViewersMessages) {
  testing::TempDir dir;
  const std::string whole = Contents(Example("solar.fts"));
  const std::string truncated = (dir / "truncated.fts").string();
  testing::WriteBytes(truncated, whole.substr(0, 2880 + 1000));
  const std::string text = (dir / "notes.fts").string();
  testing::WriteBytes(text, "These are notes, not a spectrum.\n");
  const std::string eight = (dir / "eight.fts").string();
  testing::WriteBytes(eight, testing::HeaderBlocks({"SIMPLE  = T", "BITPIX  = 8", "NAXIS   = 1", "NAXIS1  = 100"}) +
                                 std::string(100, '\x40'));
  struct Case {
    std::string file;
    std::string message;
  };
  const Case cases[] = {
      {truncated, "message: The file \"truncated.fts\" is too short for its data: 3000 samples of 8 bytes"},
      {text, "message: This is not a fits file!  Please try again.\n"},
      {eight, "message: Sorry, this program does not support 8-bit integer data."},
      {(dir / "missing.fts").string(), "cannot be read"},
      {dir.path().string() + "/", "it is a folder"},
      {"/", "it is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ToolRun run = Inspect({c.file});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("loaded: no\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("naxis1:"), std::string::npos) << "no values for a refused file";
  }

  // One refused file among sound ones: every file is reported, the status tells.
  const ToolRun mixed = Inspect({Example("nebula.fts"), text, Example("quasar.fts")});
  EXPECT_EQ(mixed.code, 1);
  EXPECT_EQ(mixed.out.find("file: " + Example("nebula.fts") + "\nloaded: yes\n"), 0u) << mixed.out;
  EXPECT_NE(mixed.out.find("\n\nfile: " + text + "\nmessage: This is not a fits file!"), std::string::npos);
  EXPECT_NE(mixed.out.find("\n\nfile: " + Example("quasar.fts") + "\nloaded: yes\n"), std::string::npos);
}

TEST(QuillonInspectTest, KeywordsNameTheCalibrationCards) {
  testing::TempDir dir;
  const std::string file = SmallFits(dir, "wave.fts", {"WAVE0   =               5000.5", "DELTA   =                 0.25"});
  const ToolRun own = Inspect({"--keywords", "WAVE0,DELTA", file});
  ASSERT_EQ(own.code, 0) << own.out << own.err;
  EXPECT_NE(own.out.find("lambda0 (WAVE0): 5000.5\ndispersion (DELTA): 0.25\n"), std::string::npos) << own.out;
  EXPECT_NE(own.out.find("wavelength end: 5050.5\n"), std::string::npos) << own.out;
  EXPECT_EQ(own.out.find("message:"), std::string::npos);
  EXPECT_EQ(Inspect({"--keywords=WAVE0,DELTA", file}).out, own.out);

  // The defaults find no card here: the viewer's two warnings, and it still loads.
  const ToolRun defaults = Inspect({file});
  EXPECT_EQ(defaults.code, 0);
  EXPECT_NE(defaults.out.find("message: You need to set the keyword for Lambda 0.\n"
                              "message: You need to set the keyword for dLambda/dP.\nloaded: yes\n"),
            std::string::npos)
      << defaults.out;
  // Names are compared exactly, case included.
  EXPECT_NE(Inspect({"--keywords", "wave0,delta", file}).out.find("Lambda 0"), std::string::npos);
}

TEST(QuillonInspectTest, CardsAndJson) {
  const ToolRun cards = Inspect({"--cards", Example("cool-star.fts")});
  ASSERT_EQ(cards.code, 0);
  EXPECT_NE(cards.out.find("card 1: SIMPLE  =                    T / file does conform to FITS standard\n"),
            std::string::npos)
      << cards.out;
  EXPECT_NE(cards.out.find("card 8: BZERO   =                32768"), std::string::npos);
  EXPECT_NE(cards.out.find("card 22: END\n"), std::string::npos) << cards.out;

  const ToolRun json = Inspect({"--json", "--cards", Example("cool-star.fts"), Example("missing.fts")});
  EXPECT_EQ(json.code, 1);
  const std::size_t newline = json.out.find('\n');
  ASSERT_NE(newline, std::string::npos);
  const std::string first = json.out.substr(0, newline), second = json.out.substr(newline + 1);
  EXPECT_EQ(first.rfind("{\"file\":\"" + Example("cool-star.fts") + "\",\"loaded\":true,\"messages\":[],", 0), 0u)
      << first;
  for (const char* field : {"\"object\":\"K1 III star\"", "\"bitpix\":16", "\"naxis1\":2800",
                            "\"lambda0_keyword\":\"CRVAL1\"", "\"wavelength_end\":6700", "\"header_cards\":21",
                            "\"data_offset\":2880", "\"cards\":[\"SIMPLE  =  "})
    EXPECT_NE(first.find(field), std::string::npos) << field;
  EXPECT_EQ(first.back(), '}');
  EXPECT_EQ(second.rfind("{\"file\":\"" + Example("missing.fts") + "\",\"loaded\":false,\"messages\":[\"The file ", 0),
            0u)
      << second;
  EXPECT_EQ(second.find("\"naxis1\""), std::string::npos);
  EXPECT_EQ(second.substr(second.size() - 13), ",\"cards\":[]}\n");
}

TEST(QuillonInspectTest, HeaderBytesCannotForgeOutput) {
  testing::TempDir dir;
  // An object name with a line break, an escape byte, a quote and a Latin-1 byte.
  const std::string file = SmallFits(dir, "odd.fts", {"OBJECT  = 'A\nB\x1b\"C\xE9'", "CRVAL1  = 4000", "CD1_1   = 1"});
  const ToolRun text = Inspect({file});
  ASSERT_EQ(text.code, 0) << text.out;
  EXPECT_NE(text.out.find("object: \"A\\x0aB\\x1b\"C\xE9\"\n"), std::string::npos) << text.out;
  const ToolRun json = Inspect({"--json", file});
  EXPECT_NE(json.out.find("\"object\":\"A\\u000aB\\u001b\\\"C\\u00e9\""), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << "one line per file";
}

TEST(QuillonInspectTest, UsageHelpAndVersion) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* err;
  };
  const Case cases[] = {
      {{}, 2, "no FITS file given"},
      {{"--bogus", Example("solar.fts")}, 2, "unknown option --bogus"},
      {{"--keywords"}, 2, "--keywords needs"},
      {{"--keywords", "CRVAL1", Example("solar.fts")}, 2, "separated by one comma"},
      {{"--keywords", "A,B,C", Example("solar.fts")}, 2, "separated by one comma"},
      {{"--keywords", ",CD1_1", Example("solar.fts")}, 2, "separated by one comma"},
      {{"--cards"}, 2, "no FITS file given"},
      {{Example("solar.fts"), ""}, 2, "an empty file name"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Inspect(c.args);
    EXPECT_EQ(run.code, c.code) << c.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: quillon-inspect"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
  const ToolRun help = Inspect({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: quillon-inspect [--keywords LAMBDA0,DISPERSION]", 0), 0u) << help.out;
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
  EXPECT_EQ(run.out.rfind("file: -dash.fts\nloaded: yes\n", 0), 0u) << run.out;
}

}  // namespace
}  // namespace quillon

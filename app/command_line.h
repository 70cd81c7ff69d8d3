#pragma once
// The command line of `quillon`, without Qt:
//
//   quillon [--help | --version] [TOOLKIT-OPTION...] [--] [FILE...]
//
// Arguments are taken as the bytes the system passed. "--help" (or "-h") and
// "--version" answer and end; the toolkit's own options (-style NAME,
// -platform NAME, ...) are set aside for it; any other argument starting
// with "-" is an unknown option, an error. "--" ends the options: every
// later argument is a file name, even one starting with "-". A lone "-" is a
// file name.

#include <string>
#include <vector>

namespace quillon {

struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  /// The toolkit's options with their values, in the order given.
  std::vector<std::string> toolkit_options;
  /// The files to load into rows 1, 2, ..., in the order given.
  std::vector<std::string> files;
  /// For Error: one line naming the fault, e.g. "unknown option '--foo'".
  std::string error;
};

/// Reads `args`, the arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

/// The usage text printed by --help (on standard output) and after an error
/// (on standard error); ends with a line end.
std::string UsageText();

}  // namespace quillon

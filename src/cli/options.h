#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/input_files.h"

namespace cli {

// One verb's command line: its plain arguments and its --options.
struct Options {
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;  // --name VALUE or --name=VALUE
  std::set<std::string> flags;                // --name

  bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// Raised for a command line that the verb does not accept.
struct UsageError {
  std::string what;
};

// Splits args by the verb's known flags and valued options; anything else that
// starts with "-" (but "-" itself, standard input) is a usage error. "-h" is
// "--help". "--" ends the options.
Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& flags,
                     const std::set<std::string>& valued);

// The number given to --name, within min..max; fallback when absent.
int NumberOption(const Options& options, const std::string& name, int min, int max, int fallback);

// --type tqc|syx|3cv|tqx (any case), the form of standard input; nothing when absent.
std::optional<FileKind> TypeOption(const Options& options);

// --device-id: 1..128, or nothing when absent.
std::optional<int> DeviceIdOption(const Options& options);

}  // namespace cli

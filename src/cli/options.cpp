#include "cli/options.h"

#include <charconv>

namespace cli {

std::optional<std::string> Options::Value(const std::string& name) const {
  const auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& flags,
                     const std::set<std::string>& valued) {
  Options options;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "-h" && flags.count("help")) {
      options.flags.insert("help");
      continue;
    }
    if (optionsEnded || arg.rfind("-", 0) != 0 || arg == "-") {
      options.operands.push_back(arg);
      continue;
    }
    if (arg.rfind("--", 0) != 0) throw UsageError{"unknown option " + arg};
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (flags.count(name)) {
      if (value) throw UsageError{"--" + name + " takes no value"};
      options.flags.insert(name);
    } else if (valued.count(name)) {
      if (!value) {
        if (i + 1 >= args.size()) throw UsageError{"--" + name + " needs a value"};
        value = args[++i];
      }
      options.values[name] = *value;
    } else {
      throw UsageError{"unknown option --" + name};
    }
  }
  return options;
}

int NumberOption(const Options& options, const std::string& name, int min, int max, int fallback) {
  const auto text = options.Value(name);
  if (!text) return fallback;
  int number = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
  if (error != std::errc() || end != text->data() + text->size() || number < min || number > max)
    throw UsageError{"--" + name + " must be " + std::to_string(min) + ".." + std::to_string(max) +
                     ", not \"" + *text + "\""};
  return number;
}

std::optional<FileKind> TypeOption(const Options& options) {
  const auto type = options.Value("type");
  if (!type) return std::nullopt;
  const auto kind = KindOf("-." + *type);
  if (!kind) throw UsageError{"--type must be tqc, syx, 3cv or tqx, not \"" + *type + "\""};
  return kind;
}

std::optional<int> DeviceIdOption(const Options& options) {
  if (!options.Value("device-id")) return std::nullopt;
  return NumberOption(options, "device-id", 1, 128, 1);
}

}  // namespace cli

#include "app/command_line.h"

#include <cctype>
#include <string_view>

#include "platform/text.h"

namespace tarnscan {

const char* const kUsage =
    "usage: tarnscan (--system DIR | --image ROOT [--user NAME] [--drive D=PATH]...\n"
    "                 [--no-log-replay])\n"
    "                [--out FILE] [--patterns FILE] [--plugins DIR]\n"
    "                [--addon NAME]... [--only NAMES] [--tick NAMES] [--untick NAMES]\n"
    "                [--as-of \"YYYY-MM-DD HH:MM:SS\"] [--encoding ansi|utf-8]\n"
    "                [--list-options] [--quiet]\n"
    "NAMES are comma-separated option names without their chk prefix\n"
    "(RunKeys, HKLMExplorerBHOKey, AllWinsock2, AddOns); see --list-options.\n";

namespace {

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  if (text.empty()) return names;
  for (auto name : platform::Split(text, ',')) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name);
  }
  return names;
}

std::string SetBoxes(const std::vector<std::string>& names, bool ticked, ScanOptions& options) {
  for (const auto& name : names) {
    const OptionBox* box = options.FindBox(name);
    if (box == nullptr) return "no option named '" + name + "' (see --list-options)";
    options.Set(box->name, ticked);
  }
  return {};
}

bool IsValueOption(std::string_view arg, bool needs_system) {
  for (std::string_view option : {"--out", "--patterns", "--plugins", "--addon", "--only",
                                   "--tick", "--untick", "--as-of", "--encoding"}) {
    if (arg == option) return true;
  }
  return needs_system && (arg == "--system" || arg == "--image" || arg == "--user" ||
                          arg == "--drive");
}

}  // namespace

std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& line,
                             bool needs_system) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    auto value = [&]() -> std::string { return argv[++i]; };
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--list-options") {
      line.list_options = true;
    } else if (arg == "--quiet") {
      line.quiet = true;
    } else if (arg == "--no-log-replay" && needs_system) {
      line.replay_logs = false;
    } else if (!IsValueOption(arg, needs_system)) {
      return "unknown option " + std::string(arg);
    } else if (!has_value) {
      return "missing value after " + std::string(arg);
    } else if (arg == "--system") {
      line.system_dir = value();
    } else if (arg == "--image") {
      line.image_root = value();
    } else if (arg == "--user") {
      line.user = value();
    } else if (arg == "--drive") {
      const std::string text = value();
      if (text.size() < 3 || text[1] != '=' || !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return "--drive wants D=PATH, not '" + text + "'";
      }
      line.drives.emplace_back(platform::AsciiUpper(text[0]), text.substr(2));
    } else if (arg == "--out") {
      line.out_file = value();
    } else if (arg == "--patterns") {
      line.patterns_file = value();
    } else if (arg == "--plugins") {
      line.plugins_dir = value();
    } else if (arg == "--addon") {
      line.addons.push_back(value());
    } else if (arg == "--only") {
      line.only = SplitNames(value());
    } else if (arg == "--tick") {
      for (auto& name : SplitNames(value())) line.tick.push_back(std::move(name));
    } else if (arg == "--untick") {
      for (auto& name : SplitNames(value())) line.untick.push_back(std::move(name));
    } else if (arg == "--as-of") {
      const std::string text = value();
      line.as_of = platform::ParseLocalTime(text);
      if (!line.as_of) return "--as-of wants \"YYYY-MM-DD HH:MM:SS\", not '" + text + "'";
    } else if (arg == "--encoding") {
      const std::string text = platform::LowerCase(value());
      if (text != "ansi" && text != "utf-8") return "--encoding is ansi or utf-8";
      line.utf8 = text == "utf-8";
    }
  }
  if (needs_system && !line.help) {
    if (line.system_dir.empty() == line.image_root.empty()) {
      return "give either --system DIR or --image ROOT";
    }
    if (line.image_root.empty() && (!line.user.empty() || !line.drives.empty())) {
      return "--user and --drive go with --image";
    }
  }
  return {};
}

std::string ApplyOptionChoices(const CommandLine& line, ScanOptions& options) {
  if (line.only) {
    // Every section box and "Run AddOn's" off; "Show All" boxes keep theirs.
    for (const auto& box : OptionBoxes()) {
      if (box.show_all_of.empty()) options.Set(box.name, false);
    }
    if (auto problem = SetBoxes(*line.only, true, options); !problem.empty()) return problem;
  }
  if (auto problem = SetBoxes(line.tick, true, options); !problem.empty()) return problem;
  if (auto problem = SetBoxes(line.untick, false, options); !problem.empty()) return problem;
  for (const auto& name : line.addons) {
    bool found = false;
    for (auto& addon : options.AddOns()) {
      if (platform::EqualsIgnoreCase(addon.name, name)) addon.checked = found = true;
    }
    if (!found) return "no AddOn file named '" + name + "' in the plugins folder";
  }
  return {};
}

}  // namespace tarnscan

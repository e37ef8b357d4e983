// AddOn files are written by users and passed around between them: any
// bytes must end in report lines, a bad-number error or a registry read
// error, never a crash or a hang. The AddOn runs against a small XP system
// held in memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "addon/addon_runner.h"
#include "main/scan_context.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"

namespace {

using namespace tarnscan;
using platform::RootKey;

class StillClock final : public platform::Clock {
 public:
  platform::LocalTime Now() const override { return {2026, 1, 2, 3, 4, 6, 0}; }
  platform::LocalTime ToLocal(platform::FileTime t) const override {
    return platform::FileTimeToCalendar(t);
  }
};

class NoFacts final : public platform::FileFacts {
 public:
  std::unique_ptr<platform::VersionData> LoadVersion(std::string_view) const override {
    return nullptr;
  }
  std::optional<std::string> ShellTypeName(std::string_view) const override { return "File"; }
};

class NoShell final : public platform::Shell {
 public:
  std::string ResolveShortcut(std::string_view) const override { return {}; }
  void Open(std::string_view, std::string_view) const override {}
};

platform::FileTime At(int year, int month, int day) {
  return platform::CalendarToFileTime({year, month, day, 12, 0, 0, 0});
}

std::unique_ptr<platform::MemoryRegistry> MakeRegistry() {
  auto registry = std::make_unique<platform::MemoryRegistry>();
  constexpr auto kLm = RootKey::kLocalMachine;
  const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  registry->SetString(kLm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                      "C:\\WINDOWS");
  registry->SetString(kLm, run, "ctfmon.exe", "C:\\WINDOWS\\system32\\ctfmon.exe");
  registry->SetValue(kLm, run, "", {platform::kRegBinary, std::string("\x0A\x1B", 2)});
  registry->SetValue(kLm, std::string(run) + "\\Multi", "list",
                     {platform::kRegMultiSz, std::string("abc\0def\0\0", 9)});
  registry->SetValue(kLm, std::string(run) + "\\Broken", "big",
                     {platform::kRegDword, std::string(8, '\x01')});
  registry->CreateKey(kLm, std::string(run) + "\\Locked").read_only = true;
  registry->SetString(RootKey::kCurrentUser, "Software\\Test", "Who", "user");
  registry->SetString(RootKey::kUsers, ".DEFAULT\\Software\\Test", "Who", "default");
  return registry;
}

std::unique_ptr<platform::MemoryFileSystem> MakeFiles() {
  auto files = std::make_unique<platform::MemoryFileSystem>();
  files->AddFile("C:\\boot.ini", "[boot loader]", platform::kAttrHidden, At(2008, 4, 14));
  files->AddFile("C:\\pagefile.sys", "x", platform::kAttrHidden, At(2026, 1, 1));
  files->AddFile("C:\\WINDOWS\\notepad.exe", "MZ", platform::kAttrArchive, At(2008, 4, 14));
  files->AddFile("C:\\WINDOWS\\system32\\abc.dll", "abc", platform::kAttrArchive, At(2025, 12, 31));
  files
      ->AddFile("C:\\WINDOWS\\system32\\drivers\\in-use.sys", "abc", platform::kAttrSystem,
                At(2025, 12, 31))
      .locked = true;
  files->AddFolder("C:\\Program Files\\Toolbar");
  files->AddFolder("C:\\link", platform::kAttrDirectory | platform::kAttrReparsePoint);
  return files;
}

const platform::System& TheSystem() {
  static const platform::System* system = [] {
    auto* made = new platform::System;
    made->code_page = platform::MakeCodePage(1252);
    made->registry = MakeRegistry();
    made->files = MakeFiles();
    made->facts = std::make_unique<NoFacts>();
    made->shell = std::make_unique<NoShell>();
    made->clock = std::make_unique<StillClock>();
    return made;
  }();
  return *system;
}

Environment XpEnvironment() {
  Environment env;
  env.os_family = "xp";
  env.sys_drv = "C:\\";
  env.win_dir = "C:\\WINDOWS";
  env.sys_dir = "C:\\WINDOWS\\SYSTEM32";
  env.prg_files = "C:\\Program Files";
  env.current_user_dir = "C:\\Documents and Settings\\Owner";
  env.all_users_dir = "C:\\Documents and Settings\\All Users";
  return env;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ScanOptions options;
  ScanContext context(TheSystem(), options);
  context.env = XpEnvironment();
  try {
    InterpretAddOnLines(context, SplitAddOnLines(bytes));
  } catch (const IntegerConversionError&) {
  } catch (const platform::RegistryError&) {
  }
  // A line of the file never spans a carriage return, and Reg1 is never
  // left open on an AddOn's key.
  for (const auto& line : context.log.Lines()) {
    if (line.find('\r') != std::string::npos) __builtin_trap();
  }
  if (context.reg1.HasKey()) __builtin_trap();
  return 0;
}

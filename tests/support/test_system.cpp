#include "support/test_system.h"

#include "fileinfo/version_info.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/memory/system_folder.h"
#include "platform/offline/file_facts_offline.h"

namespace tarnscan::testing {
namespace {

using platform::RootKey;

// Files without version data; tests that need company names install the
// offline reader instead.
class NoFileFacts final : public platform::FileFacts {
 public:
  std::unique_ptr<platform::VersionData> LoadVersion(std::string_view) const override {
    return nullptr;
  }
  std::optional<std::string> ShellTypeName(std::string_view) const override { return std::nullopt; }
};

platform::MemoryRegistry& NewRegistry(platform::System& system) {
  auto registry = std::make_unique<platform::MemoryRegistry>();
  auto& ref = *registry;
  system.registry = std::move(registry);
  return ref;
}

platform::MemoryFileSystem& NewFiles(platform::System& system) {
  auto files = std::make_unique<platform::MemoryFileSystem>();
  auto& ref = *files;
  system.files = std::move(files);
  return ref;
}

FixedClock& NewClock(platform::System& system) {
  auto clock = std::make_unique<FixedClock>(platform::LocalTime{2026, 1, 2, 3, 4, 5, 0});
  auto& ref = *clock;
  system.clock = std::move(clock);
  return ref;
}

RecordingShell& NewShell(platform::System& system) {
  auto shell = std::make_unique<RecordingShell>();
  auto& ref = *shell;
  system.shell = std::move(shell);
  return ref;
}

platform::System& WithBasics(platform::System& system) {
  system.code_page = platform::MakeCodePage(1252);
  system.facts = std::make_unique<NoFileFacts>();
  return system;
}

}  // namespace

TestSystem::TestSystem()
    : registry(NewRegistry(WithBasics(system))),
      files(NewFiles(system)),
      clock(NewClock(system)),
      shell(NewShell(system)) {}

void TestSystem::SetUpWindowsXp() {
  constexpr auto kLm = RootKey::kLocalMachine;
  registry.SetString(kLm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                     "C:\\WINDOWS");
  registry.SetString(kLm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                     "C:\\Program Files");
  files.AddFolder("C:\\WINDOWS\\system32\\drivers");
  files.AddFolder("C:\\Program Files");
}

void TestSystem::ApplyReg(std::string_view reg_text) {
  platform::ApplyRegFileOps(platform::ParseRegFile(reg_text, "test.reg", *system.code_page),
                            registry);
}

TestScan::TestScan(bool windows_xp) {
  if (windows_xp) test_system.SetUpWindowsXp();
  context = std::make_unique<ScanContext>(test_system.system, options);
  DiscoverEnvironment(*context);
  CreateScanObjects(*context);
}

void TestScan::UseCompanyNames() {
  auto& system = test_system.system;
  system.facts = std::make_unique<platform::OfflineFileFacts>(*system.files, *system.registry,
                                                              *system.code_page);
  // The cache made with the scan objects refers to the facts replaced.
  context->file_facts = std::make_shared<FileFactsCache>(*system.facts, *system.files);
}

}  // namespace tarnscan::testing

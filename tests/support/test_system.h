// A scanned system built in memory for tests, with direct access to its
// registry and files so a test can plant what it needs.
#pragma once

#include <memory>
#include <string>

#include "main/scan_context.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/system.h"

namespace tarnscan::testing {

// A clock that stands still at a chosen local time; file times are local.
class FixedClock final : public platform::Clock {
 public:
  explicit FixedClock(platform::LocalTime now) : now_(now) {}
  platform::LocalTime Now() const override { return now_; }
  platform::LocalTime ToLocal(platform::FileTime t) const override {
    return platform::FileTimeToCalendar(t);
  }
  void Set(platform::LocalTime now) { now_ = now; }

 private:
  platform::LocalTime now_;
};

// Records what the scan asked the shell to open.
class RecordingShell final : public platform::Shell {
 public:
  std::string ResolveShortcut(std::string_view) const override { return {}; }
  void Open(std::string_view program, std::string_view parameters) const override {
    opened = std::string(program) + " " + std::string(parameters);
  }
  mutable std::string opened;
};

struct TestSystem {
  TestSystem();
  platform::System system;
  platform::MemoryRegistry& registry;
  platform::MemoryFileSystem& files;
  FixedClock& clock;
  RecordingShell& shell;

  // An XP-like environment: SystemRoot C:\WINDOWS with its folders.
  void SetUpWindowsXp();
  // Applies the text of a .reg file ("REGEDIT4" or "Windows Registry
  // Editor Version 5.00" header, 8-bit) to the registry.
  void ApplyReg(std::string_view reg_text);
};

// A system folder with a context, the environment found by start-up.
struct TestScan {
  explicit TestScan(bool windows_xp = true);
  TestSystem test_system;
  ScanOptions options;
  std::unique_ptr<ScanContext> context;

  // Company names read from the files' version resources by the offline
  // reader, through a new cache of the scan.
  void UseCompanyNames();
};

}  // namespace tarnscan::testing

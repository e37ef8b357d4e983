// An in-memory XP system with a plugins folder beside it, for the AddOn
// tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "addon/addon_runner.h"
#include "fileinfo/version_info.h"
#include "support/test_system.h"

namespace tarnscan::testing {

using Lines = std::vector<std::string>;

inline platform::FileTime At(int year, int month, int day, int hour = 12, int minute = 0,
                             int second = 0) {
  return platform::CalendarToFileTime({year, month, day, hour, minute, second, 0});
}

struct AddOnFixture : ::testing::Test {
  static constexpr const char* kPlugins = "P:\\plugins";

  AddOnFixture() {
    plugins.AddFolder(kPlugins);
    context().plugin_files = &plugins;
    context().plugins_folder = kPlugins;
  }

  ScanContext& context() { return *scan.context; }
  platform::MemoryFileSystem& files() { return scan.test_system.files; }
  platform::MemoryRegistry& registry() { return scan.test_system.registry; }
  const Lines& Log() const { return scan.context->log.Lines(); }

  // Registry fixtures as the body of a REGEDIT4 file.
  void ApplyReg(std::string_view body) {
    scan.test_system.ApplyReg("REGEDIT4\r\n\r\n" + std::string(body));
  }

  // Company names read from the files' version resources.
  void UseCompanyNames() { scan.UseCompanyNames(); }

  const Lines& Interpret(std::string_view addon_text) {
    InterpretAddOnLines(context(), SplitAddOnLines(addon_text));
    return Log();
  }

  void AddPlugin(const std::string& name, std::string text, bool ticked = true) {
    plugins.AddFile(std::string(kPlugins) + "\\" + name, std::move(text));
    scan.options.AddAddOn(name);
    if (!ticked) return;
    for (auto& item : scan.options.AddOns()) {
      if (item.name == name) item.checked = true;
    }
  }

  TestScan scan;
  platform::MemoryFileSystem plugins;
};

}  // namespace tarnscan::testing

// A scan of an in-memory XP system whose files carry real version data and
// whose shortcuts resolve as the offline shell reads them, for the startup,
// system-hook and network sections.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fileinfo/version_info.h"
#include "main/scan_driver.h"
#include "platform/offline/shell_link.h"
#include "support/pe_writer.h"
#include "support/test_system.h"

namespace tarnscan::testing {

using Lines = std::vector<std::string>;

class RegistryScanTest : public ::testing::Test {
 protected:
  RegistryScanTest() {
    auto& system = scan.test_system.system;
    scan.UseCompanyNames();
    system.shell =
        std::make_unique<platform::OfflineShell>(scan.test_system.files, *system.code_page);
    context().env.all_users_dir = "C:\\Documents and Settings\\All Users";
    context().env.current_user_dir = "C:\\Documents and Settings\\Owner";
  }

  ScanContext& context() { return *scan.context; }
  void UseWindows98() { context().env.os_family = "98"; }

  // `body` is .reg text without its header line.
  void Reg(std::string_view body) { scan.test_system.ApplyReg("REGEDIT4\n\n" + std::string(body)); }
  void AddProgram(std::string_view path, std::string_view company) {
    scan.test_system.files.AddFile(path, MakePeWithCompany(company));
  }
  void AddFile(std::string_view path, std::string bytes = "text",
               uint32_t attributes = platform::kAttrArchive) {
    scan.test_system.files.AddFile(path, std::move(bytes), attributes);
  }

  const Lines& Run(Section section) {
    section(context());
    return context().log.Lines();
  }

  TestScan scan;
};

}  // namespace tarnscan::testing

// The browser sections over a real Windows XP user hive (user "joe", IE 8),
// mounted as HKEY_CURRENT_USER with an empty machine hive. The expected
// values are those listed for the hive in realdata/expected.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "main/scan_driver.h"
#include "platform/memory/memory_file_system.h"
#include "platform/offline/file_facts_offline.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_registry.h"
#include "registry/browser_sections.h"

namespace tarnscan {
namespace {

using platform::RootKey;
using Lines = std::vector<std::string>;

class XpUserHive : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = std::string(TARNSCAN_REALDATA_DIR) + "/hives/xp/NTUSER.DAT";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "missing real hive " << path;
    system_.code_page = platform::MakeCodePage(1252);
    auto registry =
        std::make_unique<platform::HiveRegistry>(*system_.code_page, [](const std::string&) {});
    registry->Mount(RootKey::kCurrentUser, "", platform::Hive::OpenFile(path));
    registry->MountEmpty(RootKey::kLocalMachine, "SOFTWARE");
    system_.registry = std::move(registry);
    system_.files = std::make_unique<platform::MemoryFileSystem>();
    system_.facts = std::make_unique<platform::OfflineFileFacts>(*system_.files, *system_.registry,
                                                                 *system_.code_page);
    context_ = std::make_unique<ScanContext>(system_, options_);
    context_->env.win_dir = "C:\\WINDOWS";
    context_->env.sys_dir = "C:\\WINDOWS\\system32";
    CreateScanObjects(*context_);
  }

  const Lines& Run(Section section) {
    section(*context_);
    return context_->log.Lines();
  }

  platform::System system_;
  ScanOptions options_;
  std::unique_ptr<ScanContext> context_;
};

TEST_F(XpUserHive, InternetExplorerSettings) {
  EXPECT_EQ(Run(ScanIESettings),
            (Lines{"", "", R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Main])", "",
                   R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer\Main])",
                   R"(  \\Start Page - http://go.microsoft.com/fwlink/?LinkId=69157)",
                   R"(  \\Search Page - http://go.microsoft.com/fwlink/?LinkId=54896)",
                   R"(  \\Local Page - C:\WINDOWS\system32\blank.htm)", "", "", "",
                   R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\URLSearchHooks])",
                   // The class lives in the machine hive, which is not there.
                   R"(  \\{CFBFAE00-17A6-11D0-99CB-00C04FD64497} -  =  ())", ""}));
}

// Of the toolbar subkeys' values only the CLSID-named one in ShellBrowser
// gives a line; ITBarLayout and ITBar7Height are passed over.
TEST_F(XpUserHive, BarsAndToolbars) {
  EXPECT_EQ(Run(ScanIEBars),
            (Lines{R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars])", "",
                   R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Explorer Bars])", "",
                   R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\ToolBar])", "",
                   R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar])",
                   R"(  \ShellBrowser\\{01E04581-4EEE-11D0-BFE9-00AA005B4383} -  =  ())", "",
                   R"([HKEY_CURRENT_USER\SOFTWARE\Microsoft\Internet Explorer\CmdMapping])",
                   R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Extensions])", ""}));
}

}  // namespace
}  // namespace tarnscan

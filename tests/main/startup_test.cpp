#include "main/startup.h"

#include <gtest/gtest.h>

#include "support/test_system.h"

namespace tarnscan {
namespace {

using platform::RootKey;
constexpr auto kLm = RootKey::kLocalMachine;
constexpr const char* kNtKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kWinKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(Startup, NtFamilyFromSystemRootUnderTheNtKey) {
  testing::TestScan scan(false);
  auto& reg = scan.test_system.registry;
  reg.SetString(kLm, kNtKey, "SystemRoot", "C:\\WINNT");
  reg.SetString(kLm, kShellFolders, "Common Desktop",
                "C:\\Documents and Settings\\All Users\\Desktop");
  reg.SetString(kLm, kShellFolders, "Personal", "C:\\Documents and Settings\\User1\\My Documents");
  DiscoverEnvironment(*scan.context);
  const Environment& env = scan.context->env;
  EXPECT_EQ(env.os_family, "xp");
  EXPECT_EQ(env.sys_drv, "C:\\");
  EXPECT_EQ(env.win_dir, "C:\\WINNT");
  EXPECT_EQ(env.sys_dir, "C:\\WINNT\\SYSTEM32");
  EXPECT_EQ(env.all_users_dir, "C:\\Documents and Settings\\All Users");
  EXPECT_EQ(env.current_user_dir, "C:\\Documents and Settings\\User1");
  // Reg1 is left open on the shell folders key.
  EXPECT_EQ(scan.context->reg1.CurrentPath(), kShellFolders);
}

TEST(Startup, NinetyEightFamilyReadsTheWindowsKey) {
  testing::TestScan scan(false);
  scan.test_system.registry.SetString(kLm, kWinKey, "SystemRoot", "C:\\WINDOWS");
  DiscoverEnvironment(*scan.context);
  EXPECT_EQ(scan.context->env.os_family, "98");
  EXPECT_EQ(scan.context->env.sys_dir, "C:\\WINDOWS\\SYSTEM");
}

TEST(Startup, RefusedFullAccessLooksLikeNinetyEightWithEmptyFolders) {
  testing::TestScan scan(false);
  auto& reg = scan.test_system.registry;
  reg.SetString(kLm, kNtKey, "SystemRoot", "C:\\WINDOWS");
  reg.CreateKey(kLm, kNtKey).read_only = true;
  DiscoverEnvironment(*scan.context);
  EXPECT_EQ(scan.context->env.os_family, "98");
  EXPECT_EQ(scan.context->env.win_dir, "");
  EXPECT_EQ(scan.context->env.sys_drv, "");
  EXPECT_EQ(scan.context->env.sys_dir, "\\SYSTEM");
}

TEST(Startup, ShortProfileValuesGiveEmptyFolders) {
  testing::TestScan scan(false);
  auto& reg = scan.test_system.registry;
  reg.SetString(kLm, kShellFolders, "Common Desktop", "\\Desktop");
  reg.SetString(kLm, kShellFolders, "Personal", "\\My Documents");
  DiscoverEnvironment(*scan.context);
  EXPECT_EQ(scan.context->env.all_users_dir, "");
  EXPECT_EQ(scan.context->env.current_user_dir, "");
}

TEST(Startup, ListsAddOnFilesSortedAndUnchecked) {
  testing::TestScan scan;
  auto& files = scan.test_system.files;
  files.AddFile("P:\\plugins\\b.def", "");
  files.AddFile("P:\\plugins\\A.def", "");
  files.AddFile("P:\\plugins\\notes.txt", "");
  files.AddFolder("P:\\plugins\\sub.def");
  scan.context->plugin_files = &files;
  scan.context->plugins_folder = "P:\\plugins";
  ASSERT_TRUE(Startup(*scan.context));
  const auto& addons = scan.options.AddOns();
  ASSERT_EQ(addons.size(), 2u);
  EXPECT_EQ(addons[0].name, "A.def");
  EXPECT_EQ(addons[1].name, "b.def");
  EXPECT_FALSE(addons[0].checked || addons[1].checked);
}

TEST(Startup, MissingPluginsFolderLeavesTheListEmpty) {
  testing::TestScan scan;
  scan.context->plugin_files = &scan.test_system.files;
  scan.context->plugins_folder = "P:\\plugins";
  EXPECT_FALSE(Startup(*scan.context));
  EXPECT_TRUE(scan.options.AddOns().empty());
  EXPECT_EQ(scan.context->env.os_family, "xp");
}

TEST(SplitTextLines, KeepsEveryLineAsWritten) {
  EXPECT_EQ(SplitTextLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitTextLines("a\r\n b \r\n\r\nlast"),
            (std::vector<std::string>{"a", " b ", "", "last"}));
  EXPECT_EQ(SplitTextLines("x\ny\rz\r\n"), (std::vector<std::string>{"x", "y", "z"}));
}

}  // namespace
}  // namespace tarnscan

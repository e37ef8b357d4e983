// The offline shell: shortcuts read from the scanned file system, and
// "open" requests kept instead of carried out.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/memory/memory_file_system.h"
#include "platform/offline/shell_link.h"
#include "support/lnk_writer.h"

namespace tarnscan::platform {
namespace {

constexpr char kStartup[] = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";

class OfflineShellTest : public ::testing::Test {
 protected:
  std::unique_ptr<CodePage> code_page_ = MakeCodePage(1252);
  MemoryFileSystem files_;
  OfflineShell shell_{files_, *code_page_};
};

TEST_F(OfflineShellTest, ResolvesShortcutsOfTheScannedFileSystem) {
  files_.AddFile(std::string(kStartup) + "\\updater.lnk",
                 testing::MakeLocalShortcut("C:\\WINDOWS\\system32\\updater.exe"));
  files_.AddFile(std::string(kStartup) + "\\share.lnk",
                 testing::MakeNetworkShortcut("\\\\server\\tools", "run.exe"));
  EXPECT_EQ(shell_.ResolveShortcut(std::string(kStartup) + "\\UPDATER.LNK"),
            "C:\\WINDOWS\\system32\\updater.exe");
  EXPECT_EQ(shell_.ResolveShortcut(std::string(kStartup) + "\\share.lnk"),
            "\\\\server\\tools\\run.exe");
}

TEST_F(OfflineShellTest, WhatCannotBeLoadedHasNoTarget) {
  files_.AddFile(std::string(kStartup) + "\\locked.lnk", testing::MakeLocalShortcut("C:\\a.exe"))
      .locked = true;
  files_.AddFile(std::string(kStartup) + "\\text.lnk", "[InternetShortcut]\r\nURL=x\r\n");
  files_.AddFolder(std::string(kStartup) + "\\folder.lnk");
  for (const char* name : {"missing.lnk", "locked.lnk", "text.lnk", "folder.lnk"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(shell_.ResolveShortcut(std::string(kStartup) + "\\" + name), "");
  }
}

TEST_F(OfflineShellTest, OpenIsRecordedNotCarriedOut) {
  EXPECT_FALSE(shell_.LastOpened().has_value());
  shell_.Open("notepad.exe", "C:\\report.txt");
  shell_.Open("C:\\Program Files\\Internet Explorer\\iexplore.exe", "http://example.com/");
  const auto last = shell_.LastOpened();
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->program, "C:\\Program Files\\Internet Explorer\\iexplore.exe");
  EXPECT_EQ(last->parameters, "http://example.com/");
}

}  // namespace
}  // namespace tarnscan::platform

#include "platform/offline/file_facts_offline.h"

#include <gtest/gtest.h>

#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "support/pe_writer.h"

namespace tarnscan::platform {
namespace {

constexpr auto kLm = RootKey::kLocalMachine;

class OfflineFileFactsTest : public ::testing::Test {
 protected:
  OfflineFileFactsTest() {
    registry_.SetString(kLm, "SOFTWARE\\Classes\\.txt", "", "txtfile");
    registry_.SetString(kLm, "SOFTWARE\\Classes\\txtfile", "", "Text Document");
    registry_.SetString(kLm, "SOFTWARE\\Classes\\.abc", "", "abcfile");  // no description
    registry_.SetString(kLm, "SOFTWARE\\Classes\\.long", "", "longfile");
    registry_.SetString(kLm, "SOFTWARE\\Classes\\longfile", "", std::string(100, 'L'));
    registry_.SetValue(kLm, "SOFTWARE\\Classes\\.nul", "", {kRegSz, std::string("nulfile\0x", 9)});
    registry_.SetValue(kLm, "SOFTWARE\\Classes\\nulfile", "",
                       {kRegSz, std::string("Cut Here\0hidden", 15)});
    registry_.SetDword(kLm, "SOFTWARE\\Classes\\.num", "", 7);  // not a string
    // Per-user classes are not consulted.
    registry_.SetString(RootKey::kCurrentUser, "Software\\Classes\\.usr", "", "usrfile");
    registry_.SetString(RootKey::kCurrentUser, "Software\\Classes\\usrfile", "", "User Type");
  }

  MemoryFileSystem files_;
  MemoryRegistry registry_;
  std::unique_ptr<CodePage> code_page_ = MakeCodePage(1252);
  OfflineFileFacts facts_{files_, registry_, *code_page_};
};

TEST_F(OfflineFileFactsTest, ShellTypeName) {
  const struct {
    const char* path;
    const char* type_name;
  } cases[] = {
      {"C:\\notes.txt", "Text Document"}, {"C:\\NOTES2.TXT", "Text Document"},
      {"C:\\file.abc", "ABC File"},       {"C:\\file.xyz", "XYZ File"},
      {"C:\\file.Cfg", "CFG File"},       {"C:\\archive.tar.gz", "GZ File"},
      {"C:\\file.nul", "Cut Here"},       {"C:\\file.num", "NUM File"},
      {"C:\\file.usr", "USR File"},       {"C:\\README", "File"},
      {"C:\\dotted.dir\\README", "File"}, {"C:\\Program Files", "File Folder"},
  };
  files_.AddFolder("C:\\Program Files");
  for (const auto& c : cases) {
    if (std::string_view(c.path) != "C:\\Program Files") files_.AddFile(c.path, "x");
  }
  for (const auto& c : cases) EXPECT_EQ(facts_.ShellTypeName(c.path), c.type_name) << c.path;

  files_.AddFile("C:\\file.long", "x");
  EXPECT_EQ(facts_.ShellTypeName("C:\\file.long"), std::string(80, 'L'));
  EXPECT_EQ(facts_.ShellTypeName("C:\\missing.txt"), std::nullopt);
}

TEST_F(OfflineFileFactsTest, LoadVersion) {
  files_.AddFile("C:\\x.dll", testing::MakePeWithCompany("Example Corp"));
  files_.AddFile("C:\\busy.dll", testing::MakePeWithCompany("Example Corp")).locked = true;
  files_.AddFile("C:\\text.dll", "text");
  files_.AddFolder("C:\\folder.dll");

  const auto data = facts_.LoadVersion("C:\\x.dll");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->String("\\StringFileInfo\\040904E4\\CompanyName"), "Example Corp");
  // The exclusive open that reads the file fails while another program
  // holds it.
  EXPECT_EQ(facts_.LoadVersion("C:\\busy.dll"), nullptr);
  EXPECT_EQ(facts_.LoadVersion("C:\\text.dll"), nullptr);
  EXPECT_EQ(facts_.LoadVersion("C:\\folder.dll"), nullptr);
  EXPECT_EQ(facts_.LoadVersion("C:\\missing.dll"), nullptr);
}

}  // namespace
}  // namespace tarnscan::platform

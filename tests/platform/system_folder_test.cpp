#include "platform/memory/system_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/registry_reader.h"

namespace fs = std::filesystem;

namespace tarnscan::platform {
namespace {

class SystemFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarnscan-sysfolder-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "registry");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& relative, const std::string& bytes) {
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative, std::ios::binary) << bytes;
  }
  static std::string Utf16Reg(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    return bytes;
  }
  std::string LoadError() {
    try {
      LoadSystemFolder(dir_.string());
    } catch (const SystemFolderError& error) {
      return error.what();
    }
    return "loaded";
  }

  fs::path dir_;
};

TEST_F(SystemFolderTest, TheCodePageValueDecidesHowUnicodeFilesConvert) {
  Write("registry/00-nls.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]"
        "\r\n\"ACP\"=\"1251\"\r\n");
  Write("registry/10-user.reg",
        Utf16Reg(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\"
                 u"\u041f\u0440\u043e\u0433]\r\n\"\u0418\u043c\u044f\"=\"\u0414\u0430 \u00e9\"\r\n"));
  const System system = LoadSystemFolder(dir_.string());
  EXPECT_EQ(system.code_page->Id(), 1251);
  RegistryReader reader(*system.registry);
  ASSERT_TRUE(reader.OpenKey("Software\\\xCF\xF0\xEE\xE3"));
  EXPECT_EQ(reader.ValueNames(), std::vector<std::string>{"\xC8\xEC\xFF"});
  EXPECT_EQ(reader.ReadString("\xC8\xEC\xFF"), "\xC4\xE0 ?");
}

TEST_F(SystemFolderTest, RegFilesApplyInNameOrderAndLocaleComesFromTheUser) {
  Write("registry/20-late.reg",
        "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
        "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"sShortDate\"=\"yyyy-MM-dd\"\r\n"
        "\"sTimeFormat\"=\"HH:mm\"\r\n");
  Write("registry/10-early.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\"x\"=\"1\"\r\n");
  const System system = LoadSystemFolder(dir_.string());
  EXPECT_EQ(system.registry->Open(RootKey::kLocalMachine, "SOFTWARE\\Gone", Access::kRead),
            nullptr);
  EXPECT_EQ(FormatDateTime({2026, 1, 2, 3, 4, 5, 0}, system.date_format), "2026-01-02 03:04");
  EXPECT_EQ(system.code_page->Id(), 1252);
}

TEST_F(SystemFolderTest, DrivesAndFileFacts) {
  Write("drive_c/WINDOWS/System32/a.dll", "MZ");
  Write("drive_d/Data/b.txt", "b");
  Write("files.tsv",
        "# comment\r\ndrive_c/WINDOWS/System32/a.dll\tRHS\t2009-05-06 07:08:09\r\n"
        "drive_d/Data\tH\t2001-01-01 00:00:00\r\n");
  const System system = LoadSystemFolder(dir_.string());
  const auto a = system.files->Stat("c:\\windows\\system32\\A.DLL");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->attributes, kAttrReadOnly | kAttrHidden | kAttrSystem);
  EXPECT_EQ(a->size, 2u);
  EXPECT_EQ(system.clock->ToLocal(a->last_write).minute, 8);
  EXPECT_EQ(system.files->Stat("D:\\Data")->attributes, kAttrHidden | kAttrDirectory);
  EXPECT_TRUE(system.files->FileExists("D:\\Data\\b.txt"));
}

TEST_F(SystemFolderTest, ErrorsNameTheFileAndLine) {
  Write("drive_c/x.txt", "x");
  struct Case {
    std::string table;
    std::string message;
  };
  for (const auto& c : std::vector<Case>{
           {"drive_c/x.txt\tQ\t2001-01-01 00:00:00\n", "files.tsv:1: attributes"},
           {"\ndrive_c/x.txt\tR\t2001-01-01\n", "files.tsv:2: time"},
           {"drive_c/y.txt\tR\t2001-01-01 00:00:00\n", "files.tsv:1: no such file"},
           {"drive_c/x.txt R 2001-01-01\n", "files.tsv:1: expected path, attributes, time"}}) {
    Write("files.tsv", c.table);
    EXPECT_NE(LoadError().find(c.message), std::string::npos) << LoadError();
  }
  fs::remove(dir_ / "files.tsv");
  Write("registry/00-bad.reg", "REGEDIT4\r\n\"orphan\"=\"value\"\r\n");
  EXPECT_NE(LoadError().find("registry/00-bad.reg:2:"), std::string::npos) << LoadError();
  fs::remove_all(dir_);
  EXPECT_NE(LoadError().find("no system folder"), std::string::npos);
}

}  // namespace
}  // namespace tarnscan::platform

#include "fileinfo/version_info.h"

#include <gtest/gtest.h>

#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/offline/file_facts_offline.h"
#include "support/pe_writer.h"

namespace tarnscan {
namespace {

using platform::RootKey;
using testing::BuildVersionBlock16;
using testing::CompanyVersion;
using testing::MakeNeWithVersionBlock;
using testing::MakePeWithCompany;
using testing::MakePeWithVersion;
using testing::VersionSpec;
using testing::VersionStrings;

// Counts the version loads, to show what the cache saves.
class CountingFacts final : public platform::FileFacts {
 public:
  explicit CountingFacts(const platform::FileFacts& inner) : inner_(inner) {}
  std::unique_ptr<platform::VersionData> LoadVersion(std::string_view path) const override {
    ++loads;
    return inner_.LoadVersion(path);
  }
  std::optional<std::string> ShellTypeName(std::string_view path) const override {
    return inner_.ShellTypeName(path);
  }
  mutable int loads = 0;

 private:
  const platform::FileFacts& inner_;
};

class VersionInfoTest : public ::testing::Test {
 protected:
  VersionInfoTest() {
    registry_.SetString(RootKey::kLocalMachine, "SOFTWARE\\Classes\\.dll", "", "dllfile");
    registry_.SetString(RootKey::kLocalMachine, "SOFTWARE\\Classes\\dllfile", "",
                        "Application Extension");
    files_.AddFolder("C:\\WINDOWS\\system32");
  }

  VersionSpec NoFixedInfo() const {
    VersionSpec spec = CompanyVersion("Example Corp");
    spec.with_fixed_info = false;
    return spec;
  }

  platform::MemoryFileSystem files_;
  platform::MemoryRegistry registry_;
  std::unique_ptr<platform::CodePage> code_page_ = platform::MakeCodePage(1252);
  platform::OfflineFileFacts offline_{files_, registry_, *code_page_};
  CountingFacts facts_{offline_};
  FileFactsCache cache_{facts_, files_};
  ScanLog log_;
};

TEST_F(VersionInfoTest, FileWithCompany) {
  VersionSpec second_only = CompanyVersion("Hidden Corp");
  second_only.tables[0].strings.erase(second_only.tables[0].strings.begin());
  VersionStrings german;
  german.language = 0x0407;
  german.strings = {{"CompanyName", "Versteckt GmbH"}};
  second_only.tables.push_back(german);
  second_only.translations = {{0x0409, 1252}, {0x0407, 1252}};

  VersionSpec untranslated = CompanyVersion("Hidden Corp");
  untranslated.tables[0].language = 0x0407;  // the table is there, its translation is not

  VersionSpec no_table = CompanyVersion("Hidden Corp");
  no_table.translations.reset();

  VersionSpec spanish = CompanyVersion("Empresa S.A.");
  spanish.tables[0].language = 0x0C0A;  // upper-case hex letters in the sub-block path
  spanish.tables[0].code_page = 1200;
  spanish.translations = {{0x0C0A, 1200}};

  const struct {
    const char* path;
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"C:\\WINDOWS\\system32\\shell32.dll", MakePeWithCompany("Microsoft Corporation"),
       " (Microsoft Corporation)"},
      {"C:\\Program Files\\X\\x64.dll", MakePeWithCompany("Example Corp", true), " (Example Corp)"},
      {"C:\\WINDOWS\\system\\old.drv",
       MakeNeWithVersionBlock(BuildVersionBlock16(CompanyVersion("Old Soft"))), " (Old Soft)"},
      {"C:\\spanish.dll", MakePeWithVersion(spanish), " (Empresa S.A.)"},
      {"C:\\readme.txt", "Just text", " ()"},
      {"C:\\second.dll", MakePeWithVersion(second_only), " ()"},
      {"C:\\untranslated.dll", MakePeWithVersion(untranslated), " ()"},
      {"C:\\no_table.dll", MakePeWithVersion(no_table), " ()"},
      {"C:\\no_fixed.dll", MakePeWithVersion(NoFixedInfo()), "[Detail Data unreadable]"},
  };
  for (const auto& c : cases) files_.AddFile(c.path, c.bytes);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FileWithCompany(cache_, c.path), c.expected);
  }
  EXPECT_EQ(FileWithCompany(cache_, "C:\\missing.dll"), " ()");
  EXPECT_EQ(FileWithCompany(cache_, "C:\\WINDOWS\\system32"), " ()");
}

TEST_F(VersionInfoTest, LogFileWithCompany) {
  files_.AddFile("C:\\good.dll", MakePeWithCompany("Example Corp"));
  files_.AddFile("C:\\no_fixed.dll", MakePeWithVersion(NoFixedInfo()));

  LogFileWithCompany(cache_, "C:\\good.dll", "C:\\good.dll", log_);
  LogFileWithCompany(cache_, "C:\\missing.dll", "line for C:\\missing.dll", log_);
  EXPECT_THROW(LogFileWithCompany(cache_, "C:\\no_fixed.dll", "never written", log_),
               VersionInfoError);
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{"C:\\good.dll (Example Corp)",
                                                    "line for C:\\missing.dll ()"}));
}

TEST_F(VersionInfoTest, ReadsTheWholeRecord) {
  VersionSpec spec = CompanyVersion("Example Corp");
  // The file spells the keys as resource compilers do; the lookups spell
  // three of them differently and still find them.
  spec.tables[0].strings = {
      {"CompanyName", "Example Corp"},     {"FileDescription", "Example library"},
      {"FileVersion", "1.2.3.4"},          {"InternalName", "example"},
      {"LegalCopyright", "(C) Example"},   {"LegalTrademarks", "Example(TM)"},
      {"OriginalFilename", "example.dll"}, {"ProductName", "Example Product"},
      {"ProductVersion", "1.2"},           {"Comments", "No comment"},
      {"SpecialBuild", "special"},         {"PrivateBuild", "private"},
  };
  spec.fixed.file_type = 2;
  spec.fixed.file_flags = 0x3F;
  spec.fixed.file_flags_mask = 0x15;  // only debug, patched and info-inferred count
  files_.AddFile("C:\\WINDOWS\\system32\\example.dll", MakePeWithVersion(spec));

  const TFileVersionInfo info = ReadFileVersionInfo(facts_, "C:\\WINDOWS\\system32\\example.dll");
  EXPECT_EQ(info.ShellTypeName, "Application Extension");
  EXPECT_EQ(info.CompanyName, "Example Corp");
  EXPECT_EQ(info.FileDescription, "Example library");
  EXPECT_EQ(info.FileVersion, "1.2.3.4");
  EXPECT_EQ(info.InternalName, "example");
  EXPECT_EQ(info.LegalCopyright, "(C) Example");
  EXPECT_EQ(info.LegalTrademarks, "Example(TM)");
  EXPECT_EQ(info.OriginalFilename, "example.dll");
  EXPECT_EQ(info.ProductName, "Example Product");
  EXPECT_EQ(info.ProductVersion, "1.2");
  EXPECT_EQ(info.Comments, "No comment");
  EXPECT_EQ(info.SpecialBuild, "special");
  EXPECT_EQ(info.PrivateBuild, "private");
  EXPECT_EQ(info.FileTypeText, "DLL");
  EXPECT_TRUE(info.IsDebug);
  EXPECT_FALSE(info.IsPreRelease);
  EXPECT_TRUE(info.IsPatched);
  EXPECT_FALSE(info.IsPrivateBuild);
  EXPECT_TRUE(info.IsInfoInferred);
  EXPECT_FALSE(info.IsSpecialBuild);
}

TEST_F(VersionInfoTest, FlagsEachFromItsOwnBit) {
  const struct {
    uint32_t bit;
    bool TFileVersionInfo::*flag;
  } flags[] = {
      {0x01, &TFileVersionInfo::IsDebug},        {0x02, &TFileVersionInfo::IsPreRelease},
      {0x04, &TFileVersionInfo::IsPatched},      {0x08, &TFileVersionInfo::IsPrivateBuild},
      {0x10, &TFileVersionInfo::IsInfoInferred}, {0x20, &TFileVersionInfo::IsSpecialBuild},
  };
  for (const auto& f : flags) {
    SCOPED_TRACE(f.bit);
    VersionSpec spec = CompanyVersion("X");
    spec.fixed.file_flags = f.bit;
    spec.fixed.file_flags_mask = 0x3F;
    files_.AddFile("C:\\flags.dll", MakePeWithVersion(spec));
    const TFileVersionInfo info = ReadFileVersionInfo(facts_, "C:\\flags.dll");
    for (const auto& other : flags) EXPECT_EQ(info.*other.flag, other.bit == f.bit) << other.bit;
  }
}

TEST_F(VersionInfoTest, MissingFileAndFileWithoutVersion) {
  const TFileVersionInfo missing = ReadFileVersionInfo(facts_, "C:\\missing.dll");
  EXPECT_EQ(missing.ShellTypeName, "");
  EXPECT_EQ(missing.CompanyName, "");
  EXPECT_EQ(missing.FileTypeText, "");
  EXPECT_EQ(facts_.loads, 0);  // the shell found nothing, so no version read is tried

  files_.AddFile("C:\\plain.dll", std::string(600, 'x'));
  const TFileVersionInfo plain = ReadFileVersionInfo(facts_, "C:\\plain.dll");
  EXPECT_EQ(plain.ShellTypeName, "Application Extension");
  EXPECT_EQ(plain.CompanyName, "");
  EXPECT_EQ(plain.FileTypeText, "");
  EXPECT_FALSE(plain.IsDebug);
}

TEST(FileTypeTextTest, EveryTypeAndSubtype) {
  const struct {
    uint32_t type;
    uint32_t subtype;
    const char* text;
  } cases[] = {
      {0, 7, "Unknown"},
      {1, 0, "Application"},
      {2, 99, "DLL"},
      {3, 0, "Unknown Driver"},
      {3, 1, "Printer Driver"},
      {3, 2, "Keyboard Driver"},
      {3, 3, "Language Driver"},
      {3, 4, "Display Driver"},
      {3, 5, "Mouse Driver"},
      {3, 6, "Network Driver"},
      {3, 7, "System Driver"},
      {3, 8, "InstallableDriver"},
      {3, 9, "Sound Driver"},
      {3, 10, "Communications Driver"},
      {3, 11, ""},
      {3, 0xFFFFFFFF, ""},
      {4, 0, "Unknown Font"},
      {4, 1, "Raster Font"},
      {4, 2, "Vector Font"},
      {4, 3, "Truetype Font"},
      {4, 4, ""},
      {5, 0x2A, "Virtual Defice Identifier = 0000002A"},
      {5, 0xABCDEF01, "Virtual Defice Identifier = ABCDEF01"},
      {6, 1, ""},
      {7, 0, "Static-link Library"},
      {8, 0, ""},
      {0xFFFFFFFF, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileTypeText(c.type, c.subtype), c.text) << c.type << "/" << c.subtype;
  }
}

TEST_F(VersionInfoTest, FontDriverAndVirtualDeviceFiles) {
  const struct {
    const char* path;
    uint32_t type;
    uint32_t subtype;
    const char* text;
  } cases[] = {
      {"C:\\WINDOWS\\Fonts\\arial.fon", 4, 3, "Truetype Font"},
      {"C:\\WINDOWS\\system32\\drivers\\kbd.sys", 3, 2, "Keyboard Driver"},
      {"C:\\WINDOWS\\system\\vmm.vxd", 5, 0x26, "Virtual Defice Identifier = 00000026"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    VersionSpec spec = CompanyVersion("Example Corp");
    spec.fixed.file_type = c.type;
    spec.fixed.file_subtype = c.subtype;
    files_.AddFile(c.path, MakePeWithVersion(spec));
    EXPECT_EQ(ReadFileVersionInfo(facts_, c.path).FileTypeText, c.text);
  }
}

TEST_F(VersionInfoTest, CacheReadsEachFileStateOnce) {
  files_.AddFile("C:\\WINDOWS\\system32\\x.dll", MakePeWithCompany("First Corp"), 0x20, 100);
  EXPECT_EQ(FileWithCompany(cache_, "C:\\WINDOWS\\system32\\x.dll"), " (First Corp)");
  EXPECT_EQ(FileWithCompany(cache_, "c:\\windows\\SYSTEM32\\X.DLL"), " (First Corp)");
  LogFileWithCompany(cache_, "C:\\WINDOWS\\system32\\x.dll", "x", log_);
  EXPECT_EQ(facts_.loads, 1);

  // Replaced during the scan: a new size and time make a new state.
  files_.AddFile("C:\\WINDOWS\\system32\\x.dll", MakePeWithCompany("Second Corporation"), 0x20,
                 200);
  EXPECT_EQ(FileWithCompany(cache_, "C:\\WINDOWS\\system32\\x.dll"), " (Second Corporation)");
  EXPECT_EQ(facts_.loads, 2);
}

TEST_F(VersionInfoTest, CacheKeepsFailures) {
  files_.AddFile("C:\\no_fixed.dll", MakePeWithVersion(NoFixedInfo()));
  EXPECT_EQ(FileWithCompany(cache_, "C:\\no_fixed.dll"), "[Detail Data unreadable]");
  EXPECT_THROW(LogFileWithCompany(cache_, "C:\\no_fixed.dll", "x", log_), VersionInfoError);
  EXPECT_EQ(FileWithCompany(cache_, "C:\\no_fixed.dll"), "[Detail Data unreadable]");
  EXPECT_EQ(facts_.loads, 1);
  EXPECT_TRUE(log_.Lines().empty());
}

}  // namespace
}  // namespace tarnscan

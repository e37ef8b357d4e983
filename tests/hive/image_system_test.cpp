// A Windows system at rest built as a folder: hives written by hivex from
// .reg text, profiles, files with non-ASCII names; read as the scanner
// reads a mounted image.
#include "platform/offline/image_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <functional>

#include "hive/hivex_oracle.h"
#include "main/scan_context.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/offline/image_file_system.h"
#include "platform/registry_reader.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;
using platform::RootKey;

constexpr char kSoftware[] =
    "REGEDIT4\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
    "\"SystemRoot\"=\"D:\\\\WINDOWS\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
    "\"ProgramFilesDir\"=\"D:\\\\Program Files\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
    "S-1-5-18]\r\n"
    "\"ProfileImagePath\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,73,79,73,74,65,6d,33,32,"
    "5c,63,6f,6e,66,69,67,5c,73,79,73,74,65,6d,70,72,6f,66,69,6c,65,00\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
    "S-1-5-21-1-1001]\r\n"
    "\"ProfileImagePath\"=hex(2):25,53,79,73,74,65,6d,44,72,69,76,65,25,5c,44,6f,63,75,6d,65,6e,"
    "74,73,20,61,6e,64,20,53,65,74,74,69,6e,67,73,5c,6a,6f,65,00\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
    "S-1-5-21-1-1002]\r\n"
    "\"ProfileImagePath\"=\"D:\\\\Documents and Settings\\\\ann\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{M}]\r\n"
    "@=\"machine\"\r\n";

constexpr char kSystem[] =
    "REGEDIT4\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n"
    "\"Current\"=dword:00000001\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Nls\\CodePage]\r\n"
    "\"ACP\"=\"1251\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\IDConfigDB]\r\n"
    "\"CurrentConfig\"=dword:00000001\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Hardware Profiles\\0001\\Software]\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\TimeZoneInformation]\r\n"
    "\"Bias\"=dword:ffffffc4\r\n"
    "\"StandardBias\"=dword:00000000\r\n"
    "\"DaylightBias\"=dword:ffffffc4\r\n"
    "\"StandardStart\"=hex:00,00,0a,00,00,00,05,00,03,00,00,00,00,00,00,00\r\n"
    "\"DaylightStart\"=hex:00,00,03,00,00,00,05,00,02,00,00,00,00,00,00,00\r\n";

constexpr char kDefault[] =
    "REGEDIT4\r\n"
    "[HKEY_USERS\\.DEFAULT\\Control Panel\\International]\r\n"
    "\"sShortDate\"=\"M/d/yy\"\r\n"
    "\"s1159\"=\"vorm.\"\r\n";

std::string UserReg(const char* name, const char* short_date) {
  return std::string(
             "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\"
             "CurrentVersion\\Run]\r\n\"who\"=\"") +
         name + "\"\r\n[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"sShortDate\"=\"" +
         short_date + "\"\r\n\"sTimeFormat\"=\"HH:mm:ss\"\r\n";
}

constexpr char kClasses[] =
    "REGEDIT4\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{U}]\r\n"
    "@=\"user\"\r\n";

void SetWriteTime(const std::string& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A small XP-like system on drive D:, folder names in mixed case.
class ImageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Hivex() == nullptr) GTEST_SKIP() << "libhivex.so.0 is not installed";
    root_ = dir_.File("image");
    const std::string config = root_ + "/Windows/System32/CONFIG";
    WriteHiveFromReg(kSoftware, "HKEY_LOCAL_MACHINE\\SOFTWARE", config + "/software");
    WriteHiveFromReg(kSystem, "HKEY_LOCAL_MACHINE\\SYSTEM", config + "/SYSTEM");
    WriteHiveFromReg(kDefault, "HKEY_USERS\\.DEFAULT", config + "/default");
    WriteFile(config + "/systemprofile/NTUSER.DAT", ReadFile(config + "/default"));
    const std::string profiles = root_ + "/Documents and Settings";
    WriteHiveFromReg(UserReg("joe", "dd.MM.yyyy"), "HKEY_CURRENT_USER",
                     profiles + "/joe/NTUSER.DAT");
    WriteHiveFromReg(kClasses, "HKEY_CURRENT_USER\\Software\\Classes",
                     profiles +
                         "/joe/Local Settings/Application Data/Microsoft/Windows/"
                         "UsrClass.dat");
    WriteHiveFromReg(UserReg("ann", "yyyy-MM-dd"), "HKEY_CURRENT_USER",
                     profiles + "/ann/ntuser.dat");
    SetWriteTime(profiles + "/ann/ntuser.dat", 1000000000);
    SetWriteTime(profiles + "/joe/NTUSER.DAT", 1100000000);
    SetWriteTime(config + "/systemprofile/NTUSER.DAT", 1200000000);  // newest, but a service
    WriteFile(root_ + "/Program Files/App/b.exe", "MZ adware inside");
    WriteFile(root_ + "/Program Files/App/A.txt", "text");
    WriteFile(root_ + "/Program Files/App/\xd0\x9f\xd1\x80\xd0\xb8.txt", "cyrillic");
    WriteFile(dir_.File("data/readme.txt"), "on drive E");
    SetWriteTime(root_ + "/Program Files/App/A.txt", 1700000000);  // 2023-11-14 22:13:20 UTC
  }

  platform::System Load(const std::string& user = "") {
    platform::ImageOptions options;
    options.root = root_;
    options.user = user;
    options.drives = {{'e', dir_.File("data")}};
    options.as_of = platform::LocalTime{2024, 7, 1, 12, 0, 0, 0};
    options.message = [this](const std::string& line) { messages_.push_back(line); };
    return platform::LoadImageSystem(options);
  }

  TempDir dir_;
  std::string root_;
  std::vector<std::string> messages_;
};

std::string ReadString(const platform::Registry& registry, RootKey root, const std::string& path,
                       const std::string& name) {
  platform::RegistryReader reader(registry);
  reader.SetRoot(root);
  if (!reader.OpenKey(path)) return "<missing>";
  return reader.ReadString(name);
}

TEST_F(ImageFixture, MountsTheHivesOfTheLastUserWhoLoggedOn) {
  const auto system = Load();
  const auto& registry = *system.registry;
  EXPECT_EQ(system.code_page->Id(), 1251);
  EXPECT_EQ(ReadString(registry, RootKey::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "who"),
            "joe");
  EXPECT_EQ(ReadString(registry, RootKey::kClassesRoot, "CLSID\\{U}", ""), "user");
  EXPECT_EQ(ReadString(registry, RootKey::kClassesRoot, "CLSID\\{M}", ""), "machine");
  EXPECT_EQ(ReadString(registry, RootKey::kLocalMachine,
                       "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP"),
            "1251");
  EXPECT_NE(registry.Open(RootKey::kCurrentConfig, "Software", platform::Access::kRead), nullptr);
  const auto users = registry.Open(RootKey::kUsers, "", platform::Access::kRead);
  EXPECT_EQ(users->SubKeyNames(),
            (std::vector<std::string>{".DEFAULT", "S-1-5-21-1-1001", "S-1-5-21-1-1001_Classes"}));
  EXPECT_EQ(system.date_format.short_date, "dd.MM.yyyy");
  EXPECT_EQ(system.date_format.long_time, "HH:mm:ss");
  EXPECT_EQ(system.date_format.am, "vorm.");  // from .DEFAULT where the user has none
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].starts_with("user: joe (D:\\Documents and Settings\\joe"))
      << messages_[0];
}

TEST_F(ImageFixture, UserCanBeChosenByProfileFolder) {
  const auto system = Load("ANN");
  EXPECT_EQ(ReadString(*system.registry, RootKey::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "who"),
            "ann");
  EXPECT_EQ(system.date_format.short_date, "yyyy-MM-dd");
  EXPECT_THROW(Load("nobody"), platform::ImageError);
}

TEST_F(ImageFixture, FilesResolveWithoutRegardToCaseOnTheDrivesGiven) {
  const auto system = Load();
  const auto& files = *system.files;
  // The system drive is D:, as SystemRoot says.
  EXPECT_TRUE(files.FolderExists("D:\\WINDOWS\\system32\\config"));
  EXPECT_FALSE(files.FolderExists("C:\\WINDOWS"));
  EXPECT_TRUE(files.FileExists("d:/program files//APP/b.EXE"));
  EXPECT_TRUE(files.FileExists("E:\\README.TXT"));
  std::vector<std::string> names;
  for (const auto& entry : files.List("D:\\Program Files\\App", "*.*")) names.push_back(entry.name);
  // Host names are UTF-8; the scanner sees them in the code page (1251).
  EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b.exe", "\xcf\xf0\xe8.txt"}));
  EXPECT_TRUE(files.FileExists("D:\\Program Files\\App\\\xef\xf0\xe8.TXT"));
  const auto a = files.Stat("D:\\PROGRAM FILES\\app\\a.TXT");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name, "A.txt");
  EXPECT_EQ(a->size, 4u);
  EXPECT_EQ(a->attributes & platform::kAttrDirectory, 0u);
  // 2023-11-14 22:13:20 UTC; the as-of date (July) is in daylight time,
  // whose bias Windows applies to every file time: UTC+2.
  const auto local = system.clock->ToLocal(a->last_write);
  EXPECT_EQ(std::make_tuple(local.year, local.month, local.day, local.hour, local.minute),
            std::make_tuple(2023, 11, 15, 0, 13));
  auto file = files.OpenExclusive("D:\\Program Files\\App\\b.exe");
  std::string bytes(2, '\0');
  EXPECT_EQ(file->Read(bytes.data(), 2), 2u);
  EXPECT_EQ(bytes, "MZ");
  EXPECT_THROW(files.OpenExclusive("D:\\Program Files\\App\\none.exe"), platform::FileError);
  EXPECT_THROW(files.OpenExclusive("D:\\Program Files"), platform::FileError);
}

TEST_F(ImageFixture, AttributesComeFromTheHostsAttributeWordsOrPermissions) {
  const std::string path = root_ + "/Program Files/App/A.txt";
  const auto system = Load();
  EXPECT_EQ(system.files->Stat("D:\\Program Files\\App\\A.txt")->attributes,
            static_cast<uint32_t>(platform::kAttrArchive));
  chmod(path.c_str(), 0444);
  EXPECT_EQ(system.files->Stat("D:\\Program Files\\App\\A.txt")->attributes,
            static_cast<uint32_t>(platform::kAttrArchive | platform::kAttrReadOnly));
  EXPECT_EQ(system.files->Stat("D:\\Program Files")->attributes,
            static_cast<uint32_t>(platform::kAttrDirectory));
  chmod(path.c_str(), 0644);
  if (setxattr(path.c_str(), "user.DOSATTRIB", "0x6", 3, 0) != 0) {
    GTEST_SKIP() << "this file system keeps no user extended attributes";
  }
  EXPECT_EQ(system.files->Stat("D:\\Program Files\\App\\A.txt")->attributes,
            static_cast<uint32_t>(platform::kAttrHidden | platform::kAttrSystem));
}

TEST(DosAttrib, ReadsSambasTextAndBinaryForms) {
  struct Case {
    std::string value;
    std::optional<uint32_t> attributes;
  };
  const std::vector<Case> cases = {
      {"0x20", 0x20},
      {std::string("0x27\0", 5), 0x27},
      {"0X2", 0x2},
      {"0x", std::nullopt},
      {"hello", std::nullopt},
      // version 3: valid flags with the attribute bit, then the word
      {std::string("\x03\x00\x03\x00\x01\x00\x00\x00\x22\x00\x00\x00", 12), 0x22},
      // version 4 without the attribute among its valid fields
      {std::string("\x04\x00\x04\x00\x02\x00\x00\x00\x22\x00\x00\x00", 12), std::nullopt},
      {std::string("\x01\x00\x01\x00\x06\x00\x00\x00", 8), 0x06},
      {std::string("\x05\x00", 2), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ParseDosAttrib(c.value), c.attributes) << c.value;
  }
}

// Every byte, name and time of the image, to show a scan changed nothing.
std::string ImageFingerprint(const std::string& root) {
  std::string all;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat facts {};
    lstat(entry.path().c_str(), &facts);
    all += entry.path().string() + "|" + std::to_string(facts.st_mtim.tv_sec) + "." +
           std::to_string(facts.st_mtim.tv_nsec) + "|" + std::to_string(facts.st_mode) + "\n";
    if (entry.is_regular_file()) all += ReadFile(entry.path().string());
  }
  return std::to_string(std::hash<std::string>{}(all)) + ":" + std::to_string(all.size());
}

TEST_F(ImageFixture, AWholeScanLeavesTheImageAsItWas) {
  const std::string before = ImageFingerprint(root_);
  {
    const auto system = Load();
    ScanOptions options;
    ScanContext context(system, options);
    context.patterns = {"adware"};
    context.program_folder = dir_.File("program") + "/";
    Startup(context);
    std::string report;
    const ScanResult result = RunScan(
        context,
        ReportTarget{dir_.File("report.txt"), [&](const std::string& bytes) { report = bytes; }});
    EXPECT_TRUE(result.completed) << result.error;
    // The header shows the scan ran on the image's clock and date pictures.
    EXPECT_NE(report.find("Logfile created on: 01.07.2024 12:00:00"), std::string::npos) << report;
  }
  EXPECT_EQ(ImageFingerprint(root_), before);
}

TEST_F(ImageFixture, WhatCannotBeScannedIsOneErrorNamingIt) {
  platform::ImageOptions options;
  options.root = dir_.File("data");
  try {
    platform::LoadImageSystem(options);
    ADD_FAILURE() << "loaded a folder without Windows";
  } catch (const platform::ImageError& error) {
    EXPECT_NE(std::string(error.what()).find("no Windows folder"), std::string::npos);
  }
  WriteFile(root_ + "/Windows/System32/CONFIG/software", std::string(5000, 'M'));
  options.root = root_;
  try {
    platform::LoadImageSystem(options);
    ADD_FAILURE() << "loaded a broken SOFTWARE hive";
  } catch (const platform::ImageError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("/Windows/System32/CONFIG/software"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

TEST(ReportPath, IsRefusedInsideTheImage) {
  TempDir dir;
  fs::create_directories(dir.File("image/sub"));
  EXPECT_NE(platform::ReportPathProblem(dir.File("image/report.txt"), dir.File("image")), "");
  EXPECT_NE(platform::ReportPathProblem(dir.File("image/sub/../r.txt"), dir.File("image/")), "");
  EXPECT_NE(platform::ReportPathProblem(dir.File("image"), dir.File("image")), "");
  EXPECT_EQ(platform::ReportPathProblem(dir.File("report.txt"), dir.File("image")), "");
  EXPECT_EQ(platform::ReportPathProblem(dir.File("image2/r.txt"), dir.File("image")), "");
}

// ---------------------------------------------------------------------------
// Time zones as Windows applies TIME_ZONE_INFORMATION.

platform::FileTime Utc(int year, int month, int day, int hour, int minute) {
  return platform::CalendarToFileTime({year, month, day, hour, minute, 0, 0});
}

TEST(TimeZone, DaylightTimeFollowsTheRuleOfEachYear) {
  platform::TimeZoneRule europe;  // UTC+1, last Sunday of March 2:00 to October 3:00
  europe.bias = -60;
  europe.daylight_bias = -60;
  europe.daylight_date = {0, 3, 0, 5, 2, 0, 0};
  europe.standard_date = {0, 10, 0, 5, 3, 0, 0};
  platform::TimeZoneRule south = {};  // UTC-3, daylight from the 1st Sunday of Oct to Feb
  south.bias = 180;
  south.daylight_bias = -60;
  south.daylight_date = {0, 10, 0, 1, 0, 0, 0};
  south.standard_date = {0, 2, 0, 3, 0, 0, 0};
  platform::TimeZoneRule fixed = {};  // no daylight time
  fixed.bias = -330;
  struct Case {
    const char* name;
    const platform::TimeZoneRule& rule;
    platform::FileTime utc;
    int offset;
  };
  const std::vector<Case> cases = {
      {"winter", europe, Utc(2024, 1, 15, 12, 0), 60},
      {"just before spring", europe, Utc(2024, 3, 31, 0, 59), 60},
      {"spring (31 March 2024)", europe, Utc(2024, 3, 31, 1, 0), 120},
      {"2023 spring is 26 March", europe, Utc(2023, 3, 26, 1, 0), 120},
      {"just before autumn", europe, Utc(2024, 10, 27, 0, 59), 120},
      {"autumn (27 October)", europe, Utc(2024, 10, 27, 1, 0), 60},
      {"south summer", south, Utc(2024, 1, 10, 12, 0), -120},
      {"south winter", south, Utc(2024, 7, 10, 12, 0), -180},
      {"south from 6 October", south, Utc(2024, 10, 6, 3, 0), -120},
      {"no daylight rule", fixed, Utc(2024, 7, 1, 0, 0), 330},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::LocalOffsetMinutes(c.rule, c.utc), c.offset) << c.name;
  }
}

}  // namespace
}  // namespace tarnscan::testing

namespace tarnscan::testing {
namespace {

// An image of real Windows 10 hives: a dirty SYSTEM without logs, a dirty
// NTUSER.DAT whose logs continue it, a dirty UsrClass.dat whose logs do
// not.
TEST(RealImage, ReadsRealHivesWithTheirLogsAsWindowsWould) {
  if (Hivex() == nullptr) GTEST_SKIP() << "libhivex.so.0 is not installed";
  const std::string user = RealData("hives/win10/NTUSER-tony.DAT");
  if (!fs::exists(user)) GTEST_SKIP() << "missing " << user;
  TempDir dir;
  const std::string root = dir.File("c");
  const std::string config = root + "/Windows/System32/config";
  WriteFile(config + "/SYSTEM", Unxz(RealData("hives/win10/SYSTEM_WIN_10_1709.xz")));
  WriteHiveFromReg(
      "REGEDIT4\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
      "S-1-5-21-7-1001]\r\n"
      "\"ProfileImagePath\"=\"C:\\\\Users\\\\tony\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{Machine}]\r\n",
      "HKEY_LOCAL_MACHINE\\SOFTWARE", config + "/SOFTWARE");
  for (const char* suffix : {"", ".LOG1", ".LOG2"}) {
    WriteFile(root + "/Users/tony/NTUSER.DAT" + suffix, ReadFile(user + suffix));
    WriteFile(root + "/Users/tony/AppData/Local/Microsoft/Windows/UsrClass.dat" + suffix,
              ReadFile(RealData("hives/win10/UsrClass-2018.dat") + suffix));
  }

  platform::ImageOptions options;
  options.root = root;
  std::vector<std::string> messages;
  options.message = [&](const std::string& line) { messages.push_back(line); };
  const auto system = platform::LoadImageSystem(options);
  const auto& registry = *system.registry;

  ASSERT_EQ(messages.size(), 3u);
  EXPECT_NE(messages[0].find(config + "/SYSTEM"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("no transaction log"), std::string::npos) << messages[0];
  EXPECT_TRUE(messages[1].starts_with("user: tony (C:\\Users\\tony")) << messages[1];
  EXPECT_NE(messages[2].find("UsrClass.dat"), std::string::npos) << messages[2];
  EXPECT_NE(messages[2].find("continues"), std::string::npos) << messages[2];

  EXPECT_EQ(system.code_page->Id(), 1252);
  const auto catalog = registry.Open(RootKey::kLocalMachine,
                                     "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\"
                                     "Protocol_Catalog9\\Catalog_Entries",
                                     platform::Access::kRead);
  ASSERT_NE(catalog, nullptr);
  EXPECT_EQ(catalog->SubKeyNames().size(), 16u);
  EXPECT_EQ(ReadString(registry, RootKey::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "OneDrive"),
            "\"C:\\Users\\tony\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe\" /background");
  const auto clsid = registry.Open(RootKey::kClassesRoot, "CLSID", platform::Access::kRead);
  ASSERT_NE(clsid, nullptr);
  EXPECT_EQ(clsid->SubKeyNames().size(), 21u);  // the user's 20 and the machine's one
  EXPECT_EQ(system.date_format.short_date, "M/d/yyyy");
  EXPECT_EQ(system.date_format.long_time, "h:mm:ss tt");
}

}  // namespace
}  // namespace tarnscan::testing

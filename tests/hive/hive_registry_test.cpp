// The registry assembled from hive files: where each hive shows, the ANSI
// type semantics, code pages, damage, and the facts recorded for the real
// hives.
#include "platform/offline/hive_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "hive/facts_json.h"
#include "hive/hivex_oracle.h"
#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_writer.h"
#include "platform/registry_reader.h"
#include "platform/text.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;
using platform::Access;
using platform::Hive;
using platform::HiveRegistry;
using platform::RootKey;

constexpr char kSystemReg[] =
    "REGEDIT4\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n"
    "\"Current\"=dword:00000002\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Nls\\CodePage]\r\n"
    "\"ACP\"=\"1250\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control\\Nls\\CodePage]\r\n"
    "\"ACP\"=\"1252\"\r\n";

constexpr char kSoftwareReg[] =
    "Windows Registry Editor Version 5.00\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{Machine}]\r\n"
    "@=\"machine object\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{Both}]\r\n"
    "@=\"machine both\"\r\n"
    "\"AppID\"=\"machine only\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{Both}\\InprocServer32]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"Sz\"=\"C:\\\\x.exe\"\r\n"
    "\"NoNul\"=hex(1):41,00,42,00\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Dword\"=dword:01020304\r\n"
    "\"Binary\"=hex:00,ff\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Link\"=hex(6):41,00\r\n"
    "\"Accent\"=\"caf\xe9\"\r\n"
    "@=\"default\"\r\n";

constexpr char kUserReg[] =
    "REGEDIT4\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\Hidden]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vendor]\r\n"
    "\"Name\"=\"user\"\r\n"
    "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n"
    "\"sShortDate\"=\"dd.MM.yyyy\"\r\n";

constexpr char kClassesReg[] =
    "REGEDIT4\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{User}]\r\n"
    "@=\"user object\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{Both}]\r\n"
    "@=\"user both\"\r\n";

class HiveRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Hivex() == nullptr) GTEST_SKIP() << "libhivex.so.0 is not installed";
    code_page_ = platform::MakeCodePage(1252);
    registry_ = std::make_unique<HiveRegistry>(
        *code_page_, [this](const std::string& line) { warnings_.push_back(line); });
    registry_->Mount(RootKey::kLocalMachine, "SYSTEM",
                     Load(kSystemReg, "HKEY_LOCAL_MACHINE\\SYSTEM", "system"));
    registry_->Mount(RootKey::kLocalMachine, "SOFTWARE",
                     Load(kSoftwareReg, "HKEY_LOCAL_MACHINE\\SOFTWARE", "software"));
    registry_->MountEmpty(RootKey::kLocalMachine, "HARDWARE");
    const auto user = Load(kUserReg, "HKEY_CURRENT_USER", "ntuser.dat");
    const auto classes = Load(kClassesReg, "HKEY_CURRENT_USER\\Software\\Classes", "usrclass.dat");
    registry_->Mount(RootKey::kCurrentUser, "", user);
    registry_->Mount(RootKey::kCurrentUser, "Software\\Classes", classes);
    registry_->Mount(RootKey::kUsers, "S-1-5-21-1", user);
    registry_->Mount(RootKey::kUsers, "S-1-5-21-1_Classes", classes);
    ASSERT_TRUE(registry_->MountAlias(RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet",
                                      RootKey::kLocalMachine, "SYSTEM\\ControlSet002"));
  }

  std::shared_ptr<const Hive> Load(const char* reg, const char* mount, const char* name) {
    const std::string path = dir_.File(name);
    WriteHiveFromReg(reg, mount, path);
    return Hive::OpenFile(path);
  }

  std::vector<std::string> SubKeys(RootKey root, std::string_view path) {
    auto key = registry_->Open(root, path, Access::kRead);
    return key ? key->SubKeyNames() : std::vector<std::string>{"<missing>"};
  }

  TempDir dir_;
  std::unique_ptr<platform::CodePage> code_page_;
  std::unique_ptr<HiveRegistry> registry_;
  std::vector<std::string> warnings_;
};

using Names = std::vector<std::string>;

TEST_F(HiveRegistryTest, ShowsEachHiveWhereWindowsMountsIt) {
  EXPECT_EQ(SubKeys(RootKey::kLocalMachine, ""), (Names{"HARDWARE", "SOFTWARE", "SYSTEM"}));
  EXPECT_EQ(SubKeys(RootKey::kLocalMachine, "hardware"), Names{});
  EXPECT_EQ(SubKeys(RootKey::kLocalMachine, "SYSTEM"),
            (Names{"ControlSet001", "ControlSet002", "CurrentControlSet", "Select"}));
  // CurrentControlSet is the set Select\Current names.
  platform::RegistryReader reader(*registry_);
  reader.SetRoot(RootKey::kLocalMachine);
  ASSERT_TRUE(reader.OpenKey("System\\CurrentControlSet\\Control\\Nls\\CodePage"));
  EXPECT_EQ(reader.ReadString("ACP"), "1252");
  // The user's classes replace whatever NTUSER.DAT keeps at that place.
  EXPECT_EQ(SubKeys(RootKey::kCurrentUser, "Software"), (Names{"Classes", "Vendor"}));
  EXPECT_EQ(SubKeys(RootKey::kCurrentUser, "Software\\Classes"), Names{"CLSID"});
  EXPECT_EQ(registry_->Open(RootKey::kCurrentUser, "Software\\Classes\\Hidden", Access::kRead),
            nullptr);
  EXPECT_EQ(SubKeys(RootKey::kUsers, ""), (Names{"S-1-5-21-1", "S-1-5-21-1_Classes"}));
  EXPECT_EQ(SubKeys(RootKey::kUsers, "s-1-5-21-1_classes\\CLSID"), (Names{"{Both}", "{User}"}));
  EXPECT_EQ(registry_->Open(RootKey::kLocalMachine, "NOWHERE", Access::kAllAccess), nullptr);
  EXPECT_EQ(registry_->Open(RootKey::kLocalMachine, "SOFTWARE\\\\Classes", Access::kRead), nullptr);
  EXPECT_NE(registry_->Open(RootKey::kLocalMachine, "SOFTWARE\\Classes\\", Access::kRead), nullptr);
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(HiveRegistryTest, ClassesRootMergesTheUserClassesOverTheMachineClasses) {
  EXPECT_EQ(SubKeys(RootKey::kClassesRoot, "CLSID"), (Names{"{Both}", "{Machine}", "{User}"}));
  platform::RegistryReader reader(*registry_);
  reader.SetRoot(RootKey::kClassesRoot);
  for (const auto& [path, text] :
       std::vector<std::pair<std::string, std::string>>{{"CLSID\\{Both}", "user both"},
                                                        {"CLSID\\{Machine}", "machine object"},
                                                        {"CLSID\\{User}", "user object"}}) {
    reader.CloseKey();
    ASSERT_TRUE(reader.OpenKey(path)) << path;
    EXPECT_EQ(reader.ReadString(""), text) << path;
  }
  EXPECT_EQ(SubKeys(RootKey::kClassesRoot, "CLSID\\{Both}"), Names{"InprocServer32"});
  // Values of both keys, the user's hiding the machine's of the same name.
  reader.CloseKey();
  ASSERT_TRUE(reader.OpenKey("CLSID\\{Both}"));
  EXPECT_EQ(reader.ReadString("AppID"), "machine only");
  const auto both = registry_->Open(RootKey::kClassesRoot, "CLSID\\{Both}", Access::kRead);
  EXPECT_EQ(both->ValueNames(), (Names{"", "AppID"}));
}

TEST_F(HiveRegistryTest, ValuesComeBackAsTheAnsiFunctionsReturnThem) {
  auto key = registry_->Open(RootKey::kLocalMachine,
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", Access::kRead);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ValueNames(), (Names{"Sz", "NoNul", "Expand", "Multi", "Dword", "Binary", "Empty",
                                      "Link", "Accent", ""}));
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
  };
  const std::vector<Case> cases = {
      {"sz", platform::kRegSz, std::string("C:\\x.exe\0", 9)},
      {"NONUL", platform::kRegSz, "AB"},
      {"Expand", platform::kRegExpandSz, std::string("%A%\0", 4)},
      {"Multi", platform::kRegMultiSz, std::string("a\0b\0\0", 5)},
      {"Dword", platform::kRegDword, "\x04\x03\x02\x01"},
      {"Binary", platform::kRegBinary, std::string("\0\xff", 2)},
      {"Empty", platform::kRegSz, std::string("\0", 1)},
      {"Link", platform::kRegLink, std::string("A\0", 2)},
      {"Accent", platform::kRegSz, std::string("caf\xe9\0", 5)},
      {"", platform::kRegSz, std::string("default\0", 8)},
  };
  for (const auto& c : cases) {
    const auto value = key->Value(c.name);
    ASSERT_TRUE(value) << c.name;
    EXPECT_EQ(value->type, c.type) << c.name;
    EXPECT_EQ(value->data, c.data) << c.name;
  }
  EXPECT_FALSE(key->Value("Missing"));
}

// Names and strings leave the hive as UTF-16 (or Latin-1) and reach the
// scanner in the system's code page; a name is found again by its 8-bit
// form.
TEST(HiveRegistryCodePage, ConvertsNamesAndStringsToTheCodePage) {
  platform::HiveWriter writer;
  auto key = writer.AddKey(writer.Root(), u"\u041f\u0440\u0438\u0432\u0435\u0442");
  writer.SetValue(key, u"\u041a\u043b\u044e\u0447", platform::kRegSz,
                  platform::RegSzData(u"\u0442\u0435\u0441\u0442 \u4e2d"));
  writer.SetValue(key, u"odd", platform::kRegSz, std::string("A\0B", 3));
  writer.AddKey(writer.Root(), u"\u00ebigenaardig");
  const std::shared_ptr<const Hive> hive = Hive::FromBytes(writer.Build(), "names");

  const auto cp1251 = platform::MakeCodePage(1251);
  HiveRegistry registry(*cp1251);
  registry.Mount(RootKey::kLocalMachine, "T", hive);
  auto root = registry.Open(RootKey::kLocalMachine, "T", Access::kRead);
  ASSERT_NE(root, nullptr);
  // \u00eb is not in code page 1251: "?" as WideCharToMultiByte writes it.
  EXPECT_EQ(root->SubKeyNames(), (Names{"?igenaardig", "\xcf\xf0\xe8\xe2\xe5\xf2"}));
  // Found again by the upper-case form of its 8-bit name.
  auto opened = registry.Open(RootKey::kLocalMachine, "T\\\xcf\xd0\xc8\xc2\xc5\xd2", Access::kRead);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->ValueNames(), (Names{"\xca\xeb\xfe\xf7", "odd"}));
  // An odd last byte is no UTF-16 unit.
  EXPECT_EQ(opened->Value("ODD")->data, "A");
  const auto value = opened->Value("\xea\xcb\xde\xd7");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->data, std::string("\xf2\xe5\xf1\xf2 ?\0", 7));
}

// ---------------------------------------------------------------------------
// Damage

class DamagedHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::HiveWriter writer;
    auto a = writer.AddKey(writer.Root(), u"A");
    auto b = writer.AddKey(a, u"B");
    writer.AddKey(b, u"C");
    writer.SetValue(b, u"v", platform::kRegSz, platform::RegSzData(u"long enough text"));
    bytes_ = writer.Build();
    const auto hive = Hive::FromBytes(bytes_, "plain");
    a_ = CellOf(*hive, u"A");
    b_ = CellOf(*hive, u"A\\B");
    root_list_ = hive->Key(hive->Root())->subkey_list;
    b_values_ = hive->Key(b_)->value_list;
  }

  static platform::Cell CellOf(const Hive& hive, std::u16string_view path) {
    auto key = hive.Key(hive.Root());
    for (auto part : {path.substr(0, 1), path.size() > 2 ? path.substr(2) : u""}) {
      if (part.empty()) break;
      platform::Cell cell = 0;
      EXPECT_EQ(hive.FindSubkey(*key, part, &cell), Hive::Lookup::kFound);
      key = hive.Key(cell);
    }
    return key->cell;
  }

  void Patch32(platform::Cell cell, size_t field, uint32_t value) {
    const size_t at = platform::kHiveBaseBlockSize + cell + 4 + field;
    platform::PutLe32(bytes_, at, value);
  }

  std::unique_ptr<HiveRegistry> Mount() {
    auto registry = std::make_unique<HiveRegistry>(
        *code_page_, [this](const std::string& line) { warnings_.push_back(line); });
    registry->Mount(RootKey::kLocalMachine, "SOFTWARE", Hive::FromBytes(bytes_, "C:\\SOFTWARE"));
    return registry;
  }

  std::unique_ptr<platform::CodePage> code_page_ = platform::MakeCodePage(1252);
  std::string bytes_;
  platform::Cell a_ = 0, b_ = 0, root_list_ = 0, b_values_ = 0;
  std::vector<std::string> warnings_;
};

TEST_F(DamagedHiveTest, AKeyBehindABrokenListIsMissingWithOneWarning) {
  Patch32(a_, 28, 0x7FFFFFF0);  // A's subkey list lies past the end
  const auto registry = Mount();
  ASSERT_NE(registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A", Access::kRead), nullptr);
  EXPECT_EQ(registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A\\B", Access::kRead), nullptr);
  EXPECT_EQ(registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A\\B", Access::kRead), nullptr);
  EXPECT_EQ(registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A", Access::kRead)->SubKeyNames(),
            Names{});
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("C:\\SOFTWARE"), std::string::npos) << warnings_[0];
  EXPECT_NE(warnings_[0].find("HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B"), std::string::npos)
      << warnings_[0];
}

TEST_F(DamagedHiveTest, ALoopOfSubkeyListsEndsAtTheKeyThatCloseIt) {
  // B's subkeys become the root's list, which holds A: A\B\A\B\... forever.
  Patch32(b_, 28, root_list_);
  const auto registry = Mount();
  std::string path = "SOFTWARE";
  int depth = 0;
  while (registry->Open(RootKey::kLocalMachine, path, Access::kRead) != nullptr && depth < 100) {
    path += (depth % 2 == 0) ? "\\A" : "\\B";
    ++depth;
  }
  EXPECT_EQ(depth, 3);  // SOFTWARE, A and B open; A below B closes the loop
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("leads back"), std::string::npos) << warnings_[0];
}

TEST_F(DamagedHiveTest, AValueWhoseDataLiesOutsideIsMissingWithAWarning) {
  const auto hive = Hive::FromBytes(bytes_, "plain");
  std::vector<platform::Cell> values;
  ASSERT_TRUE(hive->Values(*hive->Key(b_), values));
  Patch32(values[0], 8, 0x00FFFFF0);  // the data offset
  const auto registry = Mount();
  const auto key = registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A\\B", Access::kRead);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ValueNames(), Names{"v"});
  EXPECT_FALSE(key->Value("v"));
  EXPECT_EQ(warnings_.size(), 1u);
}

TEST_F(DamagedHiveTest, AValueListPastItsCellLosesTheValuesNotTheKey) {
  Patch32(b_, 36, 100000);  // a value count the list cannot hold
  const auto registry = Mount();
  const auto key = registry->Open(RootKey::kLocalMachine, "SOFTWARE\\A\\B", Access::kRead);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->SubKeyNames(), Names{"C"});
  EXPECT_EQ(key->ValueNames(), Names{});
  EXPECT_EQ(warnings_.size(), 1u);
}

// Hives that cannot be opened at all: one error naming the file.
TEST(HiveOpen, RefusesWhatIsNoHiveWithAnErrorNamingIt) {
  platform::HiveWriter writer;
  writer.AddKey(writer.Root(), u"A");
  const std::string good = writer.Build();
  std::string bad_signature = good;
  bad_signature[0] = 'x';
  std::string bad_root = good;
  bad_root[36] = '\x10';  // the root offset now points inside the security cell
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  for (const auto& c :
       {Case{"empty", "", "too short"}, Case{"header only", good.substr(0, 4096), "root key"},
        Case{"truncated", good.substr(0, 1000), "too short"},
        Case{"signature", bad_signature, "no regf"}, Case{"root", bad_root, "root key"}}) {
    try {
      Hive::FromBytes(c.bytes, "D:\\img\\SOFTWARE");
      ADD_FAILURE() << c.name << " opened";
    } catch (const platform::HiveError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("D:\\img\\SOFTWARE"), std::string::npos) << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
  TempDir dir;
  EXPECT_THROW(Hive::OpenFile(dir.File("none")), platform::HiveError);
  EXPECT_THROW(Hive::OpenFile(dir.path()), platform::HiveError);
}

// ---------------------------------------------------------------------------
// Real hives: what the recorded facts say is there, the registry shows.

// The non-empty strings of REG_MULTI_SZ data joined with "|", as the facts
// record them.
std::string JoinedMultiString(std::string_view data) {
  std::string joined;
  for (auto piece : platform::Split(data, '\0')) {
    if (piece.empty()) continue;
    if (!joined.empty()) joined += '|';
    joined += piece;
  }
  return joined;
}

std::string LoadHiveFile(const std::string& relative, const TempDir& dir) {
  const std::string path = RealData(relative);
  if (relative.size() < 3 || relative.substr(relative.size() - 3) != ".xz") return path;
  const std::string out = dir.File(fs::path(relative).stem().string());
  WriteFile(out, Unxz(path));
  return out;
}

TEST(HiveRegistryRealData, ShowsEveryRecordedFactOfTheRealHives) {
  const fs::path facts_dir = RealData("expected/hives");
  if (!fs::is_directory(facts_dir)) GTEST_SKIP() << "no recorded facts at " << facts_dir;
  TempDir dir;
  const auto code_page = platform::MakeCodePage(1252);
  size_t files = 0;
  size_t values_checked = 0;
  for (const auto& entry : fs::directory_iterator(facts_dir)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".facts.json")) continue;
    SCOPED_TRACE(name);
    const Json facts = JsonParser(ReadFile(entry.path().string())).Parse();
    const std::string hive_path = LoadHiveFile(facts["hive"].text, dir);
    HiveRegistry registry(*code_page, [](const std::string&) {});
    registry.Mount(RootKey::kLocalMachine, "T", Hive::OpenFile(hive_path));
    ++files;
    for (const Json& fact : facts["facts"].items) {
      std::string key_path = "T\\" + fact["key"].text;
      std::replace(key_path.begin(), key_path.end(), '/', '\\');
      SCOPED_TRACE(key_path);
      const auto key = registry.Open(RootKey::kLocalMachine, key_path, Access::kRead);
      ASSERT_EQ(key != nullptr, fact["exists"].boolean);
      if (!key) continue;
      EXPECT_EQ(key->ValueNames().size(), static_cast<size_t>(fact["values"].number));
      EXPECT_EQ(key->SubKeyNames().size(), static_cast<size_t>(fact["subkeys"].number));
      if (fact["subkey_names"].kind == Json::Kind::kArray) {
        Names expected;
        for (const Json& n : fact["subkey_names"].items) expected.push_back(n.text);
        EXPECT_EQ(key->SubKeyNames(), expected);
      }
      for (const Json& row : fact["value_list"].items) {
        const std::string& value_name = row.items[0].text;
        const std::string& type = row.items[1].text;
        const std::string shown = code_page->FromUtf16(platform::Utf8ToUtf16(row.items[2].text));
        const auto value = key->Value(value_name);
        ASSERT_TRUE(value) << value_name;
        ++values_checked;
        if (type == "SZ" || type == "EXPAND_SZ") {
          EXPECT_EQ(value->type, type == "SZ" ? platform::kRegSz : platform::kRegExpandSz);
          EXPECT_EQ(std::string(value->data.c_str()), shown) << value_name;
        } else if (type == "DWORD") {
          ASSERT_EQ(value->data.size(), 4u) << value_name;
          char text[16];
          uint32_t number = 0;
          std::memcpy(&number, value->data.data(), 4);
          std::snprintf(text, sizeof text, "0x%08x", number);
          EXPECT_EQ(text, shown) << value_name;
        } else if (type == "BINARY") {
          const std::string hex = Hex(value->data);
          if (shown.ends_with("...")) {
            EXPECT_TRUE(hex.starts_with(shown.substr(0, shown.size() - 3))) << value_name;
          } else {
            EXPECT_EQ(hex, shown) << value_name;
          }
        } else if (type == "MULTI_SZ") {
          EXPECT_EQ(value->type, platform::kRegMultiSz);
          EXPECT_EQ(JoinedMultiString(value->data), shown) << value_name;
        }
      }
    }
  }
  EXPECT_GE(files, 15u);
  EXPECT_GT(values_checked, 900u);
}

}  // namespace
}  // namespace tarnscan::testing

namespace tarnscan::testing {
namespace {

// The Winsock catalogs recorded for the real SYSTEM hives: each entry's
// provider path (PackedCatalogItem up to its first NUL) and protocol name
// (UTF-16 at byte 376), each name-space provider's library and name.
TEST(HiveRegistryRealData, ShowsTheRecordedWinsockCatalogs) {
  const fs::path facts_dir = RealData("expected/hives");
  if (!fs::is_directory(facts_dir)) GTEST_SKIP() << "no recorded facts at " << facts_dir;
  TempDir dir;
  const auto code_page = platform::MakeCodePage(1252);
  size_t entries = 0;
  for (const auto& file : fs::directory_iterator(facts_dir)) {
    const std::string name = file.path().filename().string();
    if (!name.ends_with(".winsock.tsv")) continue;
    SCOPED_TRACE(name);
    const size_t underscore = name.find('_');
    const std::string hive_name = name.substr(underscore + 1, name.size() - underscore - 13);
    const std::string hive = "hives/" + name.substr(0, underscore) + "/" + hive_name + ".xz";
    HiveRegistry registry(*code_page, [](const std::string&) {});
    registry.Mount(RootKey::kLocalMachine, "SYSTEM", Hive::OpenFile(LoadHiveFile(hive, dir)));
    const std::string base = "SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\";
    bool protocols = true;
    const std::string table = ReadFile(file.path().string());
    for (auto line : platform::Split(table, '\n')) {
      if (line.starts_with("# NameSpace_Catalog5")) protocols = false;
      if (line.empty() || line.front() == '#') continue;
      const auto fields = platform::Split(line, '\t');
      ASSERT_GE(fields.size(), 3u) << line;
      const std::string entry(fields[0]);
      SCOPED_TRACE(entry);
      platform::RegistryReader reader(registry);
      reader.SetRoot(RootKey::kLocalMachine);
      if (protocols) {
        ASSERT_TRUE(reader.OpenKey(base + "Protocol_Catalog9\\Catalog_Entries\\" + entry));
        const std::string item = reader.ReadBinary("PackedCatalogItem");
        ASSERT_GT(item.size(), 376u);
        EXPECT_EQ(std::string(item.c_str()), fields[1]);
        const std::u16string protocol = platform::Utf16FromLittleEndian(item.substr(376));
        EXPECT_EQ(platform::Utf16ToUtf8(protocol.substr(0, protocol.find(u'\0'))), fields[2]);
      } else {
        ASSERT_TRUE(reader.OpenKey(base + "NameSpace_Catalog5\\Catalog_Entries\\" + entry));
        EXPECT_EQ(reader.ReadString("LibraryPath"), fields[1]);
        EXPECT_EQ(reader.ReadString("DisplayString"), fields[2]);
      }
      ++entries;
    }
  }
  EXPECT_GT(entries, 80u);
}

}  // namespace
}  // namespace tarnscan::testing

#include "platform/offline/registry_views.h"

#include <gtest/gtest.h>

#include "addon/addon_runner.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file.h"
#include "platform/memory/system_folder.h"
#include "support/test_system.h"

namespace tarnscan::platform {
namespace {

using Names = std::vector<std::string>;

constexpr Access kRead = Access::kRead;

// The hives of an XP machine at rest, with the user "Owner".
struct Views : ::testing::Test {
  Views() {
    auto base = std::make_unique<MemoryRegistry>();
    stored = base.get();
    const auto code_page = MakeCodePage(1252);
    ApplyRegFileOps(ParseRegFile(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.txt]
@="txtfile"
"Content Type"="text/plain"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\txtfile]
@="Text Document"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{11111111-0000-0000-0000-000000000001}]
@="Machine object"

[HKEY_CURRENT_USER\Software\Classes\.txt]
@="usertxtfile"
"PerceivedType"="text"

[HKEY_CURRENT_USER\Software\Classes\.zzz]
@="zzzfile"

[HKEY_CURRENT_USER\Software\Classes\ABC]

[HKEY_CURRENT_USER\Software\Classes\clsid\{22222222-0000-0000-0000-000000000002}]
@="User object"

[HKEY_CURRENT_USER\Software\Test]
"Who"="Owner"

[HKEY_USERS\.DEFAULT\Software\Test]
"Who"="default"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\IDConfigDB]
"CurrentConfig"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\0001\Software\Fonts]
"LogPixels"=dword:00000060
)",
                                 "views.reg", *code_page),
                    *stored);
    views = std::make_unique<OfflineRegistryViews>(std::move(base), "Owner");
  }

  Names SubKeys(RootKey root, std::string_view path) const {
    auto key = views->Open(root, path, kRead);
    return key ? key->SubKeyNames() : Names{"(missing)"};
  }
  std::string Text(RootKey root, std::string_view path, std::string_view name) const {
    auto key = views->Open(root, path, kRead);
    if (!key) return "(missing key)";
    auto value = key->Value(name);
    if (!value) return "(missing value)";
    return value->data.substr(0, value->data.find('\0'));
  }

  MemoryRegistry* stored = nullptr;
  std::unique_ptr<OfflineRegistryViews> views;
};

TEST_F(Views, ClassesRootMergesTheUsersClassesOverTheMachines) {
  EXPECT_EQ(SubKeys(RootKey::kClassesRoot, ""), (Names{".txt", ".zzz", "ABC", "clsid", "txtfile"}));
  EXPECT_EQ(
      SubKeys(RootKey::kClassesRoot, "CLSID"),
      (Names{"{11111111-0000-0000-0000-000000000001}", "{22222222-0000-0000-0000-000000000002}"}));
  EXPECT_EQ(Text(RootKey::kClassesRoot, ".txt", ""), "usertxtfile");
  EXPECT_EQ(Text(RootKey::kClassesRoot, ".TXT", "Content Type"), "text/plain");
  EXPECT_EQ(Text(RootKey::kClassesRoot, ".txt", "PerceivedType"), "text");
  EXPECT_EQ(views->Open(RootKey::kClassesRoot, ".txt", kRead)->ValueNames(),
            (Names{"", "PerceivedType", "Content Type"}));
  EXPECT_EQ(Text(RootKey::kClassesRoot, "txtfile", ""), "Text Document");
  EXPECT_EQ(Text(RootKey::kClassesRoot, ".zzz", ""), "zzzfile");
  EXPECT_EQ(Text(RootKey::kClassesRoot, "CLSID\\{22222222-0000-0000-0000-000000000002}", ""),
            "User object");
  EXPECT_EQ(views->Open(RootKey::kClassesRoot, ".none", kRead), nullptr);
}

TEST_F(Views, UsersHoldsTheDefaultProfileAndTheUser) {
  EXPECT_EQ(SubKeys(RootKey::kUsers, ""), (Names{".DEFAULT", "Owner"}));
  EXPECT_EQ(Text(RootKey::kUsers, ".DEFAULT\\Software\\Test", "Who"), "default");
  EXPECT_EQ(Text(RootKey::kUsers, "owner\\Software\\Test", "Who"), "Owner");
  EXPECT_EQ(SubKeys(RootKey::kUsers, "Owner"), SubKeys(RootKey::kCurrentUser, ""));
  EXPECT_EQ(views->Open(RootKey::kUsers, "Owner2\\Software", kRead), nullptr);
  EXPECT_EQ(Text(RootKey::kCurrentUser, "Software\\Test", "Who"), "Owner");

  OfflineRegistryViews nobody(std::make_unique<MemoryRegistry>(), "");
  EXPECT_EQ(nobody.Open(RootKey::kUsers, "", kRead)->SubKeyNames(), Names{});
}

TEST_F(Views, CurrentConfigIsTheCurrentHardwareProfile) {
  // No "Current" link at rest: the profile IDConfigDB names.
  EXPECT_EQ(SubKeys(RootKey::kCurrentConfig, ""), Names{"Software"});
  EXPECT_NE(views->Open(RootKey::kCurrentConfig, "Software\\Fonts", kRead), nullptr);
  // Where the link was saved, it wins.
  stored->SetString(RootKey::kLocalMachine,
                    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System", "x", "1");
  EXPECT_EQ(SubKeys(RootKey::kCurrentConfig, ""), Names{"System"});
  // With neither, the root still opens, empty.
  OfflineRegistryViews bare(std::make_unique<MemoryRegistry>(), "Owner");
  EXPECT_EQ(bare.Open(RootKey::kCurrentConfig, "", kRead)->SubKeyNames(), Names{});
  EXPECT_EQ(bare.Open(RootKey::kCurrentConfig, "Software", kRead), nullptr);
}

TEST_F(Views, PerformanceAndDynamicDataAreEmptyRoots) {
  for (RootKey root : {RootKey::kPerformanceData, RootKey::kDynData}) {
    const auto key = views->Open(root, "", Access::kAllAccess);
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->SubKeyNames().empty());
    EXPECT_TRUE(key->ValueNames().empty());
    EXPECT_EQ(views->Open(root, "Global", kRead), nullptr);
  }
}

TEST_F(Views, MachineAndUserPassThrough) {
  stored->CreateKey(RootKey::kLocalMachine, "SOFTWARE\\Locked").read_only = true;
  EXPECT_EQ(views->Open(RootKey::kLocalMachine, "SOFTWARE\\Locked", Access::kAllAccess), nullptr);
  EXPECT_NE(views->Open(RootKey::kLocalMachine, "SOFTWARE\\Locked", kRead), nullptr);
}

// An AddOn sees the views as Windows shows them.
TEST(ViewsInAScan, RegKeyLinesReadTheMergedRoots) {
  testing::TestSystem test_system;
  test_system.ApplyReg(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.def]\r\n@=\"machine\"\r\n"
      "\r\n[HKEY_CURRENT_USER\\Software\\Classes\\.def]\r\n@=\"user\"\r\n");
  auto& system = test_system.system;
  system.registry =
      std::make_unique<OfflineRegistryViews>(std::move(system.registry), "S-1-5-21-1-2-3-1003");
  ScanOptions options;
  ScanContext context(system, options);
  InterpretAddOnLines(context, {"REGKEY;HKEY_CLASSES_ROOT\\.def;;",
                                "REGKEY;HKEY_USERS\\S-1-5-21-1-2-3-1003\\Software\\Classes;;"});
  EXPECT_EQ(context.log.Lines(),
            (Names{"HKEY_CLASSES_ROOT\\.def - No SUBKEYS", "[HKEY_CLASSES_ROOT\\.def]",
                   "  .def\\\\ - user", "",
                   "HKEY_USERS\\S-1-5-21-1-2-3-1003\\Software\\Classes - No SUBKEYS",
                   "[HKEY_USERS\\S-1-5-21-1-2-3-1003\\Software\\Classes]", "  \\.def", ""}));
}

}  // namespace
}  // namespace tarnscan::platform

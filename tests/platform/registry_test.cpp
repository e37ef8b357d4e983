#include <gtest/gtest.h>

#include "platform/memory/memory_registry.h"
#include "platform/registry_reader.h"

namespace tarnscan::platform {
namespace {

constexpr auto kLm = RootKey::kLocalMachine;
constexpr auto kCu = RootKey::kCurrentUser;

TEST(MemoryRegistry, NamesFoldCaseKeepFirstSpellingAndEnumerateLikeWindows) {
  MemoryRegistry reg;
  reg.CreateKey(kLm, "Software\\beta");
  reg.CreateKey(kLm, "SOFTWARE\\Alpha");
  reg.CreateKey(kLm, "software\\_under");
  reg.SetString(kLm, "Software", "zeta", "1");
  reg.SetString(kLm, "Software", "Alpha", "2");
  reg.SetString(kLm, "Software", "ZETA", "3");
  const auto key = reg.Open(kLm, "SOFTWARE", Access::kRead);
  ASSERT_NE(key, nullptr);
  // Subkeys sorted by their upper-cased names ("_" sorts after letters),
  // values in the order first written.
  EXPECT_EQ(key->SubKeyNames(), (std::vector<std::string>{"Alpha", "beta", "_under"}));
  EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"zeta", "Alpha"}));
  EXPECT_EQ(key->Value("Zeta")->data, std::string("3\0", 2));
}

TEST(MemoryRegistry, PathsWithEmptyPartsDoNotOpen) {
  MemoryRegistry reg;
  reg.CreateKey(kLm, "A\\B");
  EXPECT_NE(reg.Open(kLm, "A\\B\\", Access::kRead), nullptr);
  EXPECT_EQ(reg.Open(kLm, "A\\\\B", Access::kRead), nullptr);
  EXPECT_NE(reg.Open(kLm, "", Access::kRead), nullptr);
  reg.DeleteKey(kLm, "a");
  EXPECT_EQ(reg.Open(kLm, "A\\B", Access::kRead), nullptr);
}

TEST(RegistryReader, OpensRelativeToTheOpenKeyAndKeepsStateOnFailure) {
  MemoryRegistry reg;
  reg.SetString(kLm, "A\\B\\C", "v", "deep");
  RegistryReader reader(reg);
  EXPECT_EQ(reader.Root(), kCu);  // a new reader starts on HKEY_CURRENT_USER
  reader.SetRoot(kLm);
  ASSERT_TRUE(reader.OpenKey("A"));
  ASSERT_TRUE(reader.OpenKey("B\\C"));
  EXPECT_EQ(reader.CurrentPath(), "A\\B\\C");
  EXPECT_EQ(reader.ReadString("v"), "deep");
  EXPECT_FALSE(reader.OpenKey("Missing"));
  EXPECT_EQ(reader.CurrentPath(), "A\\B\\C");
  ASSERT_TRUE(reader.OpenKey("\\A\\B"));
  EXPECT_EQ(reader.CurrentPath(), "A\\B");
  reader.SetRoot(kCu);
  EXPECT_FALSE(reader.HasKey());
  EXPECT_TRUE(reader.SubKeyNames().empty());
  EXPECT_EQ(reader.ReadString("v"), "");
}

TEST(RegistryReader, ReadStringFollowsTheTypeRules) {
  MemoryRegistry reg;
  reg.SetString(kLm, "K", "sz", "text");
  reg.SetString(kLm, "K", "expand", "%SystemRoot%\\x", kRegExpandSz);
  reg.SetValue(kLm, "K", "embedded", RegistryValue{kRegSz, std::string("ab\0cd", 6)});
  reg.SetDword(kLm, "K", "number", 5);
  reg.SetValue(kLm, "K", "empty_binary", RegistryValue{kRegBinary, ""});
  reg.SetValue(kLm, "K", "multi", RegistryValue{kRegMultiSz, std::string("a\0b\0\0", 5)});
  reg.SetString(kLm, "K", "", "default");
  RegistryReader reader(reg);
  reader.SetRoot(kLm);
  ASSERT_TRUE(reader.OpenKey("K"));
  EXPECT_EQ(reader.ReadString("sz"), "text");
  EXPECT_EQ(reader.ReadString("expand"), "%SystemRoot%\\x");  // never expanded
  EXPECT_EQ(reader.ReadString("embedded"), "ab");
  EXPECT_EQ(reader.ReadString("missing"), "");
  EXPECT_EQ(reader.ReadString("empty_binary"), "");  // wrong type but no data
  EXPECT_EQ(reader.ReadString(""), "default");
  for (const char* name : {"number", "multi"}) {
    try {
      reader.ReadString(name);
      ADD_FAILURE() << name << " read as text";
    } catch (const RegistryError& error) {
      EXPECT_EQ(std::string(error.what()), "Invalid data type for '" + std::string(name) + "'");
    }
  }
  EXPECT_EQ(reader.ReadInteger("number"), 5);
  EXPECT_THROW(reader.ReadInteger("sz"), RegistryError);
  EXPECT_THROW(reader.ReadInteger("missing"), RegistryError);
  EXPECT_EQ(reader.DataSize("sz"), 5);
  EXPECT_EQ(reader.DataSize("missing"), -1);
  EXPECT_EQ(reader.DataType("number"), RegDataType::kInteger);
  EXPECT_EQ(reader.DataType("multi"), RegDataType::kUnknown);
  EXPECT_EQ(reader.ValueNames().back(), "");  // the default value is listed by its empty name
  EXPECT_TRUE(reader.ValueExists("SZ"));
}

TEST(RegistryReader, RefusedFullAccessIsAMissingKeyButReadAccessOpens) {
  MemoryRegistry reg;
  reg.CreateKey(kLm, "Locked").read_only = true;
  RegistryReader full(reg);
  full.SetRoot(kLm);
  EXPECT_FALSE(full.OpenKey("Locked"));
  RegistryReader reading(reg, Access::kRead);
  reading.SetRoot(kLm);
  EXPECT_TRUE(reading.OpenKey("Locked"));
}

TEST(RootKeyNames, LongAndShortFormsInAnyCase) {
  EXPECT_EQ(ParseRootKeyName("hkey_local_machine"), kLm);
  EXPECT_EQ(ParseRootKeyName("HKCU"), kCu);
  EXPECT_EQ(ParseRootKeyName("HKEY_DYN_DATA"), RootKey::kDynData);
  EXPECT_EQ(ParseRootKeyName("HKLM\\"), std::nullopt);
  EXPECT_EQ(RootKeyName(RootKey::kUsers), "HKEY_USERS");
}

}  // namespace
}  // namespace tarnscan::platform

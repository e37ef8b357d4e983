// The hive reader against hivex, on hives hivex wrote, hives our writer
// wrote and the real hives Windows wrote.
#include <gtest/gtest.h>

#include <filesystem>

#include "hive/hivex_oracle.h"
#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_writer.h"
#include "platform/registry.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;
using platform::Cell;
using platform::Hive;
using platform::HiveWriter;

std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& c : upper) c = platform::UpcaseUnit(c);
  return upper;
}

// The key at a backslash path below the root, through FindSubkey.
std::optional<platform::HiveKeyNode> Find(const Hive& hive, std::u16string_view path) {
  auto key = hive.Key(hive.Root());
  size_t start = 0;
  while (key && start < path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    Cell cell = 0;
    if (hive.FindSubkey(*key, Upper(path.substr(start, end - start)), &cell) !=
        Hive::Lookup::kFound) {
      return std::nullopt;
    }
    key = hive.Key(cell);
    start = end + 1;
  }
  return key;
}

std::optional<std::string> DefaultValueData(const Hive& hive, const platform::HiveKeyNode& key) {
  std::vector<Cell> cells;
  if (!hive.Values(key, cells)) return std::nullopt;
  for (Cell cell : cells) {
    const auto value = hive.Value(cell);
    if (value && value->name.Length() == 0) return hive.ValueData(*value);
  }
  return std::nullopt;
}

constexpr char kFixtureReg[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"ctfmon.exe\"=\"C:\\\\WINDOWS\\\\system32\\\\ctfmon.exe\"\r\n"
    "\"Tiny\"=\"ab\"\r\n"
    "@=\"default text\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Numbers]\r\n"
    "\"Flag\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,03,04,05,06,07,08,09\r\n"
    "\"Empty\"=hex:\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\r\n"
    "\"Expand\"=hex(2):25,00,57,00,49,00,4e,00,44,00,49,00,52,00,25,00,00,00\r\n"
    "\"Quad\"=hex(b):01,00,00,00,00,00,00,80\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\caf\xe9 Cr\xe8me]\r\n"
    "\"na\xefve\"=\"\xe9t\xe9\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\alpha]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\_under]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
    "[HKEY_CURRENT_USER\\Elsewhere]\r\n";

TEST(HiveReader, ReadsWhatHivexWroteFromRegText) {
  REQUIRE_HIVEX();
  TempDir dir;
  const std::string path = dir.File("SOFTWARE");
  WriteHiveFromReg(kFixtureReg, "HKEY_LOCAL_MACHINE\\SOFTWARE", path);
  const auto hive = Hive::OpenFile(path);
  EXPECT_FALSE(hive->IsDirty());

  size_t keys = 0;
  size_t values = 0;
  EXPECT_EQ(CompareWithHivex(path, *hive, &keys, &values), std::vector<std::string>{});
  EXPECT_EQ(keys, 10u);  // the root, the four keys down to Run, five more
  EXPECT_EQ(values, 10u);

  // Subkeys come in the hive's order: upper-cased UTF-16, so "_" (0x5F)
  // sorts after the letters.
  const auto root = hive->Key(hive->Root());
  std::vector<Cell> cells;
  ASSERT_TRUE(hive->Subkeys(*root, cells));
  std::vector<std::string> names;
  for (Cell cell : cells) names.push_back(platform::Utf16ToUtf8(hive->Key(cell)->name.Utf16()));
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "caf\xc3\xa9 Cr\xc3\xa8me", "Microsoft",
                                             "Numbers", "Zeta", "_under"}));

  const auto run = Find(*hive, u"MICROSOFT\\windows\\CurrentVersion\\RUN");
  ASSERT_TRUE(run);
  EXPECT_EQ(DefaultValueData(*hive, *run), platform::RegSzData(u"default text"));
  EXPECT_TRUE(Find(*hive, u"Caf\u00c9 CR\u00c8ME"));
  EXPECT_FALSE(Find(*hive, u"Gone"));
  EXPECT_FALSE(Find(*hive, u"Elsewhere"));
  EXPECT_FALSE(Find(*hive, u"Microsoft\\Windows\\CurrentVersion\\Run\\Nothing"));
}

// Our writer, read back by hivex and by us: every shape of list and data.
TEST(HiveReader, AgreesWithHivexOnEveryLayoutOurWriterMakes) {
  REQUIRE_HIVEX();
  struct Case {
    const char* name;
    uint32_t minor_version;
    size_t leaf_size;
  };
  for (const Case& c : {Case{"v1.3 one leaf", 3, 1000}, Case{"v1.5 ri index", 5, 7},
                        Case{"v1.5 one per leaf", 5, 1}}) {
    SCOPED_TRACE(c.name);
    HiveWriter::Options options;
    options.minor_version = c.minor_version;
    options.leaf_size = c.leaf_size;
    HiveWriter writer(options);
    auto classes = writer.AddKey(writer.Root(), u"Classes");
    for (int i = 0; i < 100; ++i) {
      auto key = writer.AddKey(classes, u"Key" + std::u16string(1, u'A' + i % 26) +
                                            platform::Utf8ToUtf16(std::to_string(i)));
      writer.SetValue(key, u"", platform::kRegSz, platform::RegSzData(u"x"));
    }
    auto odd = writer.AddKey(writer.Root(), u"\u041f\u0440\u0438\u0432\u0435\u0442");
    writer.SetValue(odd, u"\u041a\u043b\u044e\u0447", platform::kRegDword, platform::DwordData(7));
    writer.SetValue(odd, u"big", platform::kRegBinary, std::string(40000, '\x5a'));
    writer.SetValue(odd, u"exactly-segment", platform::kRegBinary, std::string(16344, 'q'));
    writer.SetValue(odd, u"three", platform::kRegBinary, "abc");
    writer.SetValue(odd, u"none", platform::kRegNone, "");
    writer.SetValue(odd, u"odd-type", 0xFFFF0012u, "12345");

    TempDir dir;
    const std::string path = dir.File("hive");
    WriteFile(path, writer.Build());
    const auto hive = Hive::OpenFile(path);
    size_t keys = 0;
    size_t values = 0;
    EXPECT_EQ(CompareWithHivex(path, *hive, &keys, &values), std::vector<std::string>{});
    EXPECT_EQ(keys, 103u);
    EXPECT_EQ(values, 106u);

    for (int i = 0; i < 100; ++i) {
      const std::u16string name = u"classes\\KEY" + std::u16string(1, u'a' + i % 26) +
                                  platform::Utf8ToUtf16(std::to_string(i));
      EXPECT_TRUE(Find(*hive, name)) << i;
    }
    EXPECT_FALSE(Find(*hive, u"Classes\\Key"));
    EXPECT_FALSE(Find(*hive, u"Classes\\KeyZ99"));
    EXPECT_FALSE(Find(*hive, u"Classes\\AAA"));
    EXPECT_FALSE(Find(*hive, u"Classes\\zzz"));
    // Cyrillic names fold case as Windows folds them.
    EXPECT_TRUE(Find(*hive, u"\u043f\u0420\u0418\u0412\u0415\u0422"));
  }
}

// hivex gives up on a key with more than 70,000 subkeys; the reader has no
// such limit and finds any of them by name.
TEST(HiveReader, FindsChildrenOfAKeyWithMoreSubkeysThanHivexReads) {
  HiveWriter writer;
  auto big = writer.AddKey(writer.Root(), u"CLSID");
  constexpr int kCount = 100000;
  for (int i = 0; i < kCount; ++i) {
    writer.AddKey(big, platform::Utf8ToUtf16("{" + std::to_string(1000000 + i) + "}"));
  }
  const auto hive = Hive::FromBytes(writer.Build(), "big");
  const auto clsid = Find(*hive, u"clsid");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(clsid->subkey_count, static_cast<uint32_t>(kCount));
  std::vector<Cell> cells;
  ASSERT_TRUE(hive->Subkeys(*clsid, cells));
  EXPECT_EQ(cells.size(), static_cast<size_t>(kCount));
  for (int i : {0, 1, 999, 1000, 1001, 54321, kCount - 1}) {
    EXPECT_TRUE(
        Find(*hive, u"CLSID\\{" + platform::Utf8ToUtf16(std::to_string(1000000 + i)) + u"}"))
        << i;
  }
  EXPECT_FALSE(Find(*hive, u"CLSID\\{0999999}"));
  EXPECT_FALSE(Find(*hive, u"CLSID\\{1100000}"));
  EXPECT_FALSE(Find(*hive, u"CLSID\\{1000000"));
}

// Every real hive: ours and hivex's reading agree key for key, value for
// value.
TEST(HiveReader, AgreesWithHivexOnEveryRealHive) {
  REQUIRE_HIVEX();
  const fs::path root = RealData("hives");
  if (!fs::is_directory(root)) GTEST_SKIP() << "no real hives at " << root;
  TempDir dir;
  size_t hives = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = entry.path().string();
    const std::string name = entry.path().filename().string();
    if (name.find(".LOG") != std::string::npos || name.find(".log") != std::string::npos) {
      continue;
    }
    if (entry.path().extension() == ".xz") {
      if (name.find(".LOG") != std::string::npos) continue;
      const std::string bytes = Unxz(path);
      ASSERT_FALSE(bytes.empty()) << path;
      path = dir.File(entry.path().stem().string());
      WriteFile(path, bytes);
    }
    SCOPED_TRACE(path);
    std::unique_ptr<Hive> hive;
    try {
      hive = Hive::OpenFile(path);
    } catch (const platform::HiveError& error) {
      ADD_FAILURE() << error.what();
      continue;
    }
    size_t keys = 0;
    EXPECT_EQ(CompareWithHivex(path, *hive, &keys), std::vector<std::string>{});
    EXPECT_GT(keys, 1u);
    ++hives;
  }
  EXPECT_GE(hives, 20u);
}

}  // namespace
}  // namespace tarnscan::testing

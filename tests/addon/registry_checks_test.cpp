#include "addon/registry_checks.h"

#include <gtest/gtest.h>

#include "addon/addon_fixture.h"

namespace tarnscan {
namespace {

using platform::RegistryError;
using platform::RegistryValue;
using platform::RootKey;
using testing::AddOnFixture;
using testing::Lines;

constexpr RootKey kLm = RootKey::kLocalMachine;

struct RegValueTextCase {
  const char* name;
  uint32_t type;
  std::string data;
  std::string text;
};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string data;
  for (int b : bytes) data.push_back(static_cast<char>(b));
  return data;
}

TEST_F(AddOnFixture, RegValueTextOfEveryType) {
  using namespace platform;
  const RegValueTextCase cases[] = {
      {"sz", kRegSz, std::string("abc\0junk\0", 9), "abc"},
      {"sz without NUL", kRegSz, "abc", "abc"},
      {"expand sz", kRegExpandSz, std::string("%SystemRoot%\\x.exe\0", 19), "%SystemRoot%\\x.exe"},
      {"empty sz", kRegSz, "", ""},
      {"dword 1", kRegDword, Bytes({1, 0, 0, 0}), "1"},
      {"dword -1", kRegDword, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "-1"},
      {"dword 0x80000000", kRegDword, Bytes({0, 0, 0, 0x80}), "-2147483648"},
      {"binary", kRegBinary, Bytes({0x0A, 0x1B}), "0A 1B "},
      {"binary 00 FF 10", kRegBinary, Bytes({0x00, 0xFF, 0x10}), "00 FF 10 "},
      {"empty binary", kRegBinary, "", ""},
      {"multi sz", kRegMultiSz, std::string("abc\0def\0\0", 9), "abc;def;"},
      {"empty multi sz", kRegMultiSz, "", ""},
      {"multi sz with an empty string", kRegMultiSz, std::string("abc\0\0def\0\0", 10), "abc;"},
      {"multi sz cut short", kRegMultiSz, std::string("abc\0de", 6), "abc;"},
      {"no NUL at all", kRegMultiSz, "abc", ""},
      {"NUL first", kRegMultiSz, std::string("\0abc\0", 5), ""},
      {"empty none", kRegNone, "", ""},
      {"none", kRegNone, std::string("x\0", 2), "x;"},
      {"big endian dword", kRegDwordBigEndian, Bytes({0, 0, 0, 1}), ""},
      {"qword", kRegQword, Bytes({5, 0, 0, 0, 0, 0, 0, 0}), "\x05;"},
  };
  for (const auto& c : cases) {
    registry().SetValue(kLm, "Software\\Types", c.name, RegistryValue{c.type, c.data});
  }
  for (const auto& c : cases) {
    EXPECT_EQ(RegValueText(registry(), kLm, "Software\\Types", c.name), c.text) << c.name;
  }
  EXPECT_EQ(RegValueText(registry(), kLm, "Software\\Types", "missing"), "");
}

TEST_F(AddOnFixture, RegValueTextFailures) {
  registry().SetValue(kLm, "Software\\Types", "big",
                      RegistryValue{platform::kRegDword, std::string(8, '\x01')});
  EXPECT_THROW(
      {
        try {
          RegValueText(registry(), kLm, "Software\\Types", "big");
        } catch (const RegistryError& error) {
          EXPECT_STREQ(error.what(), "Failed to get data for 'big'");
          throw;
        }
      },
      RegistryError);
  EXPECT_THROW(RegValueText(registry(), kLm, "Software\\Gone", "x"), RegistryError);
}

// A Run key with a sub-key two levels deep, as Windows setup leaves it.
struct RegKeys : AddOnFixture {
  RegKeys() {
    ApplyReg(
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
        "@=\"default.exe\"\r\n"
        "\"ctfmon.exe\"=\"C:\\\\WINDOWS\\\\system32\\\\ctfmon.exe\"\r\n"
        "\"Toolbar\"=\"rundll32.exe tb.dll,Start\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
        "OptionalComponents]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
        "OptionalComponents\\IMAIL]\r\n\"Installed\"=\"1\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
        "OptionalComponents\\MAPI]\r\n\"Installed\"=\"1\"\r\n\"NoChange\"=\"1\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Zed]\r\n"
        "\"Flags\"=hex:01,02\r\n");
  }
  const Lines& Check(RootKey root, const char* root_name, const char* path, const char* option) {
    scan.context->log.Clear();
    CheckRegKey(context(), root, root_name, path, option);
    return Log();
  }
  static constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
};

TEST_F(RegKeys, SubKeysDepthFirstWithTheirDisplayPaths) {
  EXPECT_EQ(
      Check(kLm, "HKEY_LOCAL_MACHINE", kRun, "SUBKEYS"),
      (Lines{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run - Include "
             "SUBKEYS",
             "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]",
             "  Run\\\\ - default.exe", "  Run\\\\ctfmon.exe - C:\\WINDOWS\\system32\\ctfmon.exe",
             "  Run\\\\Toolbar - rundll32.exe tb.dll,Start",
             "  Run\\OptionalComponents\\IMAIL\\\\Installed - 1",
             "  Run\\OptionalComponents\\MAPI\\\\Installed - 1",
             "  Run\\OptionalComponents\\MAPI\\\\NoChange - 1", "  Run\\Zed\\\\Flags - 01 02 "}));
  EXPECT_FALSE(context().reg1.HasKey());
  EXPECT_EQ(context().reg1.Root(), kLm);
}

TEST_F(RegKeys, WithoutSubKeysTheirNamesOnly) {
  EXPECT_EQ(
      Check(kLm, "HKEY_LOCAL_MACHINE", kRun, ""),
      (Lines{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run - No "
             "SUBKEYS",
             "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]",
             "  Run\\\\ - default.exe", "  Run\\\\ctfmon.exe - C:\\WINDOWS\\system32\\ctfmon.exe",
             "  Run\\\\Toolbar - rundll32.exe tb.dll,Start", "  \\OptionalComponents", "  \\Zed"}));
}

TEST_F(RegKeys, AMissingKey) {
  EXPECT_EQ(Check(RootKey::kCurrentUser, "HKEY_CURRENT_USER", kRun, "SUBKEYS"),
            (Lines{"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run - "
                   "Include SUBKEYS",
                   "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run - not "
                   "found."}));
}

TEST_F(RegKeys, KeysThatRefuseFullRights) {
  registry().CreateKey(kLm, std::string(kRun) + "\\OptionalComponents\\IMAIL").read_only = true;
  EXPECT_EQ(Check(kLm, "HKEY_LOCAL_MACHINE",
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
                  "OptionalComponents",
                  "SUBKEYS"),
            (Lines{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
                   "OptionalComponents - Include SUBKEYS",
                   "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
                   "OptionalComponents]",
                   "  Key not found", "  OptionalComponents\\MAPI\\\\Installed - 1",
                   "  OptionalComponents\\MAPI\\\\NoChange - 1"}));
  registry().CreateKey(kLm, kRun).read_only = true;
  EXPECT_EQ(Check(kLm, "HKEY_LOCAL_MACHINE", kRun, "").back(),
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run - not found.");
}

TEST_F(RegKeys, AValueThatCannotBeReadEndsTheDumpWithLinesSoFarKept) {
  registry().SetValue(kLm, std::string(kRun) + "\\Zed", "Broken",
                      RegistryValue{platform::kRegDword, std::string(8, '\0')});
  scan.context->log.Clear();
  EXPECT_THROW(CheckRegKey(context(), kLm, "HKEY_LOCAL_MACHINE", kRun, "SUBKEYS"), RegistryError);
  EXPECT_EQ(Log().back(), "  Run\\Zed\\\\Flags - 01 02 ");
  EXPECT_FALSE(context().reg1.HasKey());
}

TEST_F(RegKeys, DumpRegKeyUnderAParentDisplayPath) {
  scan.context->log.Clear();
  DumpRegKey(context(), kLm, std::string(kRun) + "\\OptionalComponents\\MAPI", "Run\\Extra", "");
  EXPECT_EQ(Log(),
            (Lines{"  Run\\Extra\\MAPI\\\\Installed - 1", "  Run\\Extra\\MAPI\\\\NoChange - 1"}));
  scan.context->log.Clear();
  DumpRegKey(context(), kLm, "Software\\Nothing", "", "SUBKEYS");
  EXPECT_EQ(Log(), Lines{"  Key not found"});
}

}  // namespace
}  // namespace tarnscan

// The shortcut reader over shortcuts made by the test writer: the order in
// which GetPath takes its sources, ID list items, code pages, and damaged
// or hostile files.
#include "platform/offline/shell_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "support/lnk_writer.h"

namespace tarnscan::platform {
namespace {

using testing::ControlPanelItem;
using testing::DriveItem;
using testing::FileItem;
using testing::IdListForPath;
using testing::LinkInfoSpec;
using testing::LocalLinkInfo;
using testing::MyComputerItem;
using testing::NetworkLinkInfo;
using testing::ShellItem;
using testing::ShortcutBytes;
using testing::ShortcutSpec;
using testing::UnicodeFileItem;
using testing::WriteShortcut;

const CodePage& Cp1252() {
  static const auto code_page = MakeCodePage(1252);
  return *code_page;
}

std::string Target(std::string_view bytes, const CodePage& code_page = Cp1252()) {
  return ReadShortcutTarget(MemoryByteSource(bytes), code_page);
}

uint32_t U32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

ShortcutSpec WithIdList(std::vector<std::string> items) {
  ShortcutSpec spec;
  spec.id_list = std::move(items);
  return spec;
}

ShortcutSpec WithLinkInfo(LinkInfoSpec link_info) {
  ShortcutSpec spec;
  spec.link_info = std::move(link_info);
  return spec;
}

ShortcutSpec WithEnvironment(std::string ansi, std::u16string unicode) {
  ShortcutSpec spec;
  spec.environment_target_ansi = std::move(ansi);
  spec.environment_target_unicode = std::move(unicode);
  return spec;
}

// An extra data block of another kind (a console block, say).
std::string OtherExtraBlock(uint32_t size) {
  std::string block(size, '\0');
  PutLe32(block, 0, size);
  PutLe32(block, 4, 0xA0000002);
  return block;
}

struct SourceCase {
  const char* name;
  std::function<ShortcutSpec()> spec;
  std::string expected;
};

TEST(ShortcutTarget, TakesThePathFromTheFirstSourceThatHasOne) {
  const SourceCase cases[] = {
      {"local base path", [] { return WithLinkInfo(LocalLinkInfo("C:\\WINDOWS\\notepad.exe")); },
       "C:\\WINDOWS\\notepad.exe"},
      {"base path and suffix",
       [] { return WithLinkInfo(LocalLinkInfo("C:\\FileShare\\", "Secret")); },
       "C:\\FileShare\\Secret"},
      {"base path without its backslash",
       [] { return WithLinkInfo(LocalLinkInfo("C:\\FileShare", "Secret")); },
       "C:\\FileShare\\Secret"},
      {"share and suffix",
       [] { return WithLinkInfo(NetworkLinkInfo("\\\\server\\share", "dir\\file.doc")); },
       "\\\\server\\share\\dir\\file.doc"},
      {"share root", [] { return WithLinkInfo(NetworkLinkInfo("\\\\server\\share")); },
       "\\\\server\\share"},
      {"share before local path (UNC priority)",
       [] {
         LinkInfoSpec info = NetworkLinkInfo("\\\\server\\share", "a.txt");
         info.local_base_path = "Z:\\";
         info.device_name = "Z:";
         return WithLinkInfo(info);
       },
       "\\\\server\\share\\a.txt"},
      {"Unicode base path before the 8-bit one",
       [] {
         LinkInfoSpec info = LocalLinkInfo("C:\\ansi.exe");
         info.local_base_path_unicode = u"C:\\wide.exe";
         return WithLinkInfo(info);
       },
       "C:\\wide.exe"},
      {"Unicode suffix before the 8-bit one",
       [] {
         LinkInfoSpec info = NetworkLinkInfo("\\\\s\\x", "a?.txt");
         info.common_path_suffix_unicode = u"a\u00E9.txt";
         return WithLinkInfo(info);
       },
       "\\\\s\\x\\a\xE9.txt"},
      {"Unicode share name before the 8-bit one",
       [] {
         LinkInfoSpec info = NetworkLinkInfo("\\\\?cole\\x", "f");
         info.net_name_unicode = u"\\\\\u00C9cole\\x";
         return WithLinkInfo(info);
       },
       "\\\\\xC9"
       "cole\\x\\f"},
      {"link information before the ID list",
       [] {
         ShortcutSpec spec = WithIdList(IdListForPath("C:\\list.exe"));
         spec.link_info = LocalLinkInfo("C:\\info.exe");
         return spec;
       },
       "C:\\info.exe"},
      {"ID list when link information is to be ignored",
       [] {
         ShortcutSpec spec = WithIdList(IdListForPath("C:\\list.exe"));
         spec.link_info = LocalLinkInfo("C:\\info.exe");
         spec.more_flags = testing::kLnkForceNoLinkInfo;
         return spec;
       },
       "C:\\list.exe"},
      {"ID list when link information has no path",
       [] {
         ShortcutSpec spec = WithIdList(IdListForPath("C:\\list.exe"));
         spec.link_info = LinkInfoSpec();
         return spec;
       },
       "C:\\list.exe"},
      {"ID list before the environment target",
       [] {
         ShortcutSpec spec = WithEnvironment("%windir%\\env.exe", u"%windir%\\env.exe");
         spec.id_list = IdListForPath("C:\\list.exe");
         return spec;
       },
       "C:\\list.exe"},
      {"environment target when the list has no path",
       [] {
         ShortcutSpec spec = WithEnvironment("%windir%\\env.exe", u"%windir%\\env.exe");
         spec.id_list = std::vector<std::string>{ControlPanelItem()};
         return spec;
       },
       "%windir%\\env.exe"},
      {"Unicode environment target before the 8-bit one",
       [] { return WithEnvironment("%A%\\ansi.exe", u"%W%\\wide.exe"); }, "%W%\\wide.exe"},
      {"8-bit environment target when the Unicode one is empty",
       [] { return WithEnvironment("%A%\\ansi.exe", u""); }, "%A%\\ansi.exe"},
      {"environment target after other extra blocks",
       [] {
         ShortcutSpec spec = WithEnvironment("", u"%ProgramFiles%\\x.exe");
         spec.extra_blocks = {OtherExtraBlock(0xCC), OtherExtraBlock(0x10)};
         return spec;
       },
       "%ProgramFiles%\\x.exe"},
      {"environment target after Unicode strings",
       [] {
         ShortcutSpec spec = WithEnvironment("", u"%SystemRoot%\\a.exe");
         spec.name = u"A description";
         spec.arguments = u"/quiet /norestart";
         return spec;
       },
       "%SystemRoot%\\a.exe"},
      {"environment target after 8-bit strings",
       [] {
         ShortcutSpec spec = WithEnvironment("", u"%SystemRoot%\\a.exe");
         spec.name = u"A description";
         spec.arguments = u"/quiet";
         spec.unicode_strings = false;
         return spec;
       },
       "%SystemRoot%\\a.exe"},
      {"nothing to take a path from", [] { return ShortcutSpec(); }, ""},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Target(WriteShortcut(c.spec()).bytes), c.expected);
  }
}

TEST(ShortcutTarget, ReadsAnAbsoluteFileSystemIdList) {
  const auto path_items = [](uint16_t version) {
    return std::vector<std::string>{
        MyComputerItem(), DriveItem('C'), FileItem("PROGRA~1", u"Program Files", true, version),
        FileItem("MYAPPL~1.EXE", u"My Application.exe", false, version)};
  };
  struct Case {
    const char* name;
    std::vector<std::string> items;
    std::string expected;
  };
  const Case cases[] = {
      {"Windows XP long names", path_items(3), "C:\\Program Files\\My Application.exe"},
      {"Windows Vista long names", path_items(7), "C:\\Program Files\\My Application.exe"},
      {"Windows 7 long names", path_items(8), "C:\\Program Files\\My Application.exe"},
      {"Windows 8 and later long names", path_items(9), "C:\\Program Files\\My Application.exe"},
      {"short names where there is no long one", path_items(0), "C:\\PROGRA~1\\MYAPPL~1.EXE"},
      {"UTF-16 item names",
       {MyComputerItem(), DriveItem('D'), UnicodeFileItem(u"Windows", true),
        UnicodeFileItem(u"cmd.exe", false)},
       "D:\\Windows\\cmd.exe"},
      {"long name in the code page",
       {MyComputerItem(), DriveItem('C'), FileItem("NAVE~1.TXT", u"na\u00EFve.txt", false)},
       "C:\\na\xEFve.txt"},
      {"a drive alone", {MyComputerItem(), DriveItem('E')}, "E:\\"},
      {"My Computer alone", {MyComputerItem()}, ""},
      {"Control Panel", {ControlPanelItem()}, ""},
      {"relative to the desktop", {FileItem("A.TXT", u"a.txt", false)}, ""},
      {"a known folder under My Computer",
       {MyComputerItem(), ShellItem(0x2E, std::string(17, '\x80'))},
       ""},
      {"an item of another kind among the files",
       {MyComputerItem(), DriveItem('C'), ShellItem(0x61, "http://example.com/")},
       ""},
      {"a file item that is all header",
       {MyComputerItem(), DriveItem('C'), ShellItem(0x32, std::string(8, '\0'))},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Target(WriteShortcut(WithIdList(c.items)).bytes), c.expected);
  }
}

// A damaged extension block costs the long name, not the item.
TEST(ShortcutTarget, FallsBackToTheShortNameWhenTheExtensionIsDamaged) {
  const std::string item = FileItem("PROGRA~1", u"Program Files", true, 9);
  const size_t extension = item.size() - 2;  // the offset of the first extension block
  const size_t block = static_cast<unsigned char>(item[extension]);
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
  };
  const Case cases[] = {
      {"offset past the item", [&](std::string& i) { PutLe16(i, extension, 0xFFF0); }},
      {"offset into the header", [&](std::string& i) { PutLe16(i, extension, 4); }},
      {"block size past the item", [&](std::string& i) { PutLe16(i, block, 0x7FFF); }},
      {"block size below a header", [&](std::string& i) { PutLe16(i, block, 2); }},
      {"another signature", [&](std::string& i) { PutLe32(i, block + 4, 0xBEEF0005); }},
      {"version without a long name", [&](std::string& i) { PutLe16(i, block + 2, 2); }},
      {"long name without its end",
       [&](std::string& i) {
         for (size_t at = block + 46; at < extension; ++at) i[at] = 'x';
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = item;
    c.damage(damaged);
    const std::string bytes =
        WriteShortcut(WithIdList({MyComputerItem(), DriveItem('C'), damaged})).bytes;
    EXPECT_EQ(Target(bytes), "C:\\PROGRA~1");
  }
}

// In a double-byte code page 0x5C may end a character: such a name needs
// its backslash like any other.
TEST(ShortcutTarget, JoinsDoubleByteNamesWithABackslash) {
  const auto cp932 = MakeCodePage(932);
  ASSERT_EQ(cp932->Id(), 932);
  const std::string hyou = "\x95\x5C";  // U+8868 in code page 932
  EXPECT_EQ(
      Target(WriteShortcut(WithLinkInfo(LocalLinkInfo("C:\\" + hyou, "x.exe"))).bytes, *cp932),
      "C:\\" + hyou + "\\x.exe");
  EXPECT_EQ(Target(WriteShortcut(WithLinkInfo(LocalLinkInfo("C:\\" + hyou + "\\", "x.exe"))).bytes,
                   *cp932),
            "C:\\" + hyou + "\\x.exe");
  const std::vector<std::string> items = {MyComputerItem(), DriveItem('C'),
                                          FileItem("HYOU~1", u"\u8868", true),
                                          FileItem("X.EXE", u"x.exe", false)};
  EXPECT_EQ(Target(WriteShortcut(WithIdList(items)).bytes, *cp932), "C:\\" + hyou + "\\x.exe");
}

TEST(ShortcutTarget, OtherFilesAreNotShortcuts) {
  std::string wrong_size = testing::MakeLocalShortcut("C:\\a.exe");
  PutLe32(wrong_size, 0, 0x4D);
  std::string wrong_class = testing::MakeLocalShortcut("C:\\a.exe");
  wrong_class[19] = 0x47;
  const std::string not_shortcuts[] = {"", std::string(0x4B, 'L'), "MZ" + std::string(500, '\0'),
                                       wrong_size, wrong_class};
  for (const std::string& bytes : not_shortcuts) EXPECT_EQ(Target(bytes), "");
  EXPECT_EQ(Target(testing::MakeLocalShortcut("C:\\a.exe")), "C:\\a.exe");
}

// Every prefix of a shortcut gives nothing until the parts that hold its
// target are whole, then the full target.
TEST(ShortcutTarget, TruncatedFileGivesNothingUntilItsTargetIsWhole) {
  struct Case {
    const char* name;
    ShortcutBytes link;
    size_t needed;  // bytes the target depends on
  };
  ShortcutSpec local = WithEnvironment("", u"%SystemRoot%\\notepad.exe");
  local.id_list = IdListForPath("C:\\WINDOWS\\notepad.exe");
  local.link_info = LocalLinkInfo("C:\\WINDOWS\\", "notepad.exe");
  local.name = u"Notepad";
  local.arguments = u"/p";
  ShortcutSpec network = WithLinkInfo(NetworkLinkInfo("\\\\server\\share", "dir\\a.exe"));
  network.link_info->net_name_unicode = u"\\\\server\\share";
  network.link_info->common_path_suffix_unicode = u"dir\\a.exe";
  ShortcutSpec environment = WithEnvironment("", u"%windir%\\system32\\calc.exe");
  environment.extra_blocks = {OtherExtraBlock(0x20)};
  Case cases[] = {
      {"local", WriteShortcut(local), 0},
      {"network", WriteShortcut(network), 0},
      {"environment", WriteShortcut(environment), 0},
  };
  cases[0].needed = cases[0].link.extra_data;  // strings and all: Load reads them
  cases[1].needed = cases[1].link.extra_data;
  cases[2].needed = cases[2].link.extra_data + 0x20 + 0x314;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string& bytes = c.link.bytes;
    const std::string full = Target(bytes);
    ASSERT_FALSE(full.empty());
    for (size_t length = 0; length < bytes.size(); ++length) {
      ASSERT_EQ(Target(std::string_view(bytes).substr(0, length)), length >= c.needed ? full : "")
          << "cut at " << length;
    }
  }
}

struct Damage {
  const char* name;
  std::function<void(ShortcutBytes&)> apply;
};

void ExpectNoTarget(const ShortcutBytes& intact, const std::vector<Damage>& damages) {
  ASSERT_FALSE(Target(intact.bytes).empty());
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    ShortcutBytes damaged = intact;
    damage.apply(damaged);
    EXPECT_EQ(Target(damaged.bytes), "");
  }
}

TEST(ShortcutTarget, HostileSizesAndOffsetsGiveNothing) {
  ShortcutSpec spec = WithEnvironment("", u"%windir%\\env.exe");
  spec.id_list = IdListForPath("C:\\list.exe");
  spec.link_info = NetworkLinkInfo("\\\\server\\share", "a.exe");
  spec.link_info->local_base_path = "Z:\\";
  spec.link_info->local_base_path_unicode = u"Z:\\";
  spec.link_info->device_name = "Z:";
  spec.link_info->net_name_unicode = u"\\\\server\\share";
  spec.link_info->common_path_suffix_unicode = u"a.exe";
  spec.name = u"description";
  const ShortcutBytes intact = WriteShortcut(spec);
  const size_t info = intact.link_info;
  const auto field = [info](size_t offset) { return info + offset; };
  const auto at = [info](const ShortcutBytes& s, size_t offset) {
    return info + U32(s.bytes, info + offset);
  };
  ASSERT_EQ(U32(intact.bytes, field(4)), 0x24u) << "the Unicode header";
  ExpectNoTarget(
      intact,
      {
          {"ID list size past the end", [](auto& s) { PutLe16(s.bytes, s.id_list, 0xFFFF); }},
          {"ID item past its list", [](auto& s) { PutLe16(s.bytes, s.id_list + 2, 0xFFF0); }},
          {"ID item of one byte", [](auto& s) { PutLe16(s.bytes, s.id_list + 2, 1); }},
          {"link information past the end",
           [&](auto& s) { PutLe32(s.bytes, field(0), s.bytes.size()); }},
          {"link information size overflowing", [&](auto& s) { PutLe32(s.bytes, field(0), ~0u); }},
          {"link information smaller than a header",
           [&](auto& s) { PutLe32(s.bytes, field(0), 0x10); }},
          {"header size past the block", [&](auto& s) { PutLe32(s.bytes, field(4), 0x1000); }},
          {"header size too small", [&](auto& s) { PutLe32(s.bytes, field(4), 0x18); }},
          {"volume past the block", [&](auto& s) { PutLe32(s.bytes, field(0x0C), 0xFFFFFFF0); }},
          {"volume size overflowing", [&](auto& s) { PutLe32(s.bytes, at(s, 0x0C), ~0u); }},
          {"base path past the block", [&](auto& s) { PutLe32(s.bytes, field(0x10), 0x7FFFFFFF); }},
          {"base path offset overflowing", [&](auto& s) { PutLe32(s.bytes, field(0x10), ~0u); }},
          {"share part past the block", [&](auto& s) { PutLe32(s.bytes, field(0x14), 0x10000); }},
          {"share part size overflowing", [&](auto& s) { PutLe32(s.bytes, at(s, 0x14), ~0u); }},
          {"share part smaller than its header", [&](auto& s) { PutLe32(s.bytes, at(s, 0x14), 8); }},
          {"share name past its part", [&](auto& s) { PutLe32(s.bytes, at(s, 0x14) + 8, 0x1000); }},
          {"Unicode share name past its part",
           [&](auto& s) { PutLe32(s.bytes, at(s, 0x14) + 0x14, 0x1000); }},
          {"device name past its part",
           [&](auto& s) { PutLe32(s.bytes, at(s, 0x14) + 12, 0xFFFFFFFF); }},
          {"suffix past the block", [&](auto& s) { PutLe32(s.bytes, field(0x18), 0x10000); }},
          {"Unicode base path past the block",
           [&](auto& s) { PutLe32(s.bytes, field(0x1C), 0x10000); }},
          {"Unicode suffix past the block",
           [&](auto& s) { PutLe32(s.bytes, field(0x20), 0xFFFFFFFE); }},
          {"Unicode suffix without its end",
           [&](auto& s) { PutLe16(s.bytes, s.string_data - 2, 'x'); }},
          {"string count past the end", [](auto& s) { PutLe16(s.bytes, s.string_data, 0xFFFF); }},
      });
}

TEST(ShortcutTarget, BrokenExtraDataLosesTheEnvironmentTarget) {
  ShortcutSpec spec = WithEnvironment("%windir%\\env.exe", u"%windir%\\env.exe");
  spec.extra_blocks = {OtherExtraBlock(0x20)};
  const ShortcutBytes intact = WriteShortcut(spec);
  const size_t environment = intact.extra_data + 0x20;
  ExpectNoTarget(
      intact,
      {
          {"block before it sized past the end",
           [](auto& s) { PutLe32(s.bytes, s.extra_data, 0xFFFFFFF0); }},
          {"block before it ending the list", [](auto& s) { PutLe32(s.bytes, s.extra_data, 2); }},
          {"its size past the end", [&](auto& s) { PutLe32(s.bytes, environment, 0x10000); }},
          {"its size short of its fields", [&](auto& s) { PutLe32(s.bytes, environment, 0x100); }},
          {"flag cleared", [](auto& s) { s.bytes[0x15] &= ~0x02; }},
      });
}

TEST(ShortcutTarget, EnvironmentTargetFillingItsFieldIsCutAtTheField) {
  ShortcutBytes link = WriteShortcut(WithEnvironment("x", u""));
  for (size_t i = 0; i < 260; ++i) link.bytes[link.extra_data + 8 + i] = 'A';
  EXPECT_EQ(Target(link.bytes), std::string(260, 'A'));
}

// The walk over extra data blocks is bounded: a file of tiny blocks does
// not keep it going.
TEST(ShortcutTarget, EnvironmentTargetBehindEndlessBlocksIsNotSought) {
  ShortcutSpec near = WithEnvironment("", u"%windir%\\near.exe");
  near.extra_blocks.assign(10, OtherExtraBlock(8));
  EXPECT_EQ(Target(WriteShortcut(near).bytes), "%windir%\\near.exe");
  ShortcutSpec far = WithEnvironment("", u"%windir%\\far.exe");
  far.extra_blocks.assign(100000, OtherExtraBlock(8));
  EXPECT_EQ(Target(WriteShortcut(far).bytes), "");
}

// The path strings Windows reads at most MAX_PATH characters of (see
// lnkparse3/padded_cli_arguments.lnk in the real data).
TEST(ShortcutTarget, WorkingFolderCountIsReadUpToMaxPath) {
  ShortcutSpec spec = WithEnvironment("", u"%windir%\\env.exe");
  spec.more_flags = 0x10;  // a working folder, written by hand below
  ShortcutBytes link = WriteShortcut(spec);
  std::string folder(2, '\0');
  PutLe16(folder, 0, 1000);  // claims 1000 characters
  for (int i = 0; i < 260; ++i) folder += std::string("a\0", 2);
  link.bytes.insert(link.string_data, folder);
  EXPECT_EQ(Target(link.bytes), "%windir%\\env.exe");
}

}  // namespace
}  // namespace tarnscan::platform

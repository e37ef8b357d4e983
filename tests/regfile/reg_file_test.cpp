#include "platform/memory/reg_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tarnscan::platform {

// Found by argument-dependent lookup from the assertions below.
bool operator==(const RegFileOp& a, const RegFileOp& b) {
  return a.kind == b.kind && a.root == b.root && a.key_path == b.key_path &&
         a.value_name == b.value_name && a.type == b.type && a.data == b.data && a.line == b.line;
}

void PrintTo(const RegFileOp& op, std::ostream* out) {
  static const char* const kKinds[] = {"CreateKey", "DeleteKey", "SetValue", "DeleteValue"};
  *out << kKinds[static_cast<int>(op.kind)] << " " << RootKeyName(op.root) << "\\" << op.key_path
       << " name='" << op.value_name << "' type=" << op.type << " data=";
  for (unsigned char c : op.data) {
    static const char kHex[] = "0123456789abcdef";
    *out << kHex[c >> 4] << kHex[c & 15] << ' ';
  }
  *out << "line=" << op.line;
}

namespace {

using namespace std::string_literals;
using Kind = RegFileOp::Kind;

const CodePage& Cp1252() {
  static const std::unique_ptr<CodePage> code_page = MakeCodePage(1252);
  return *code_page;
}

const CodePage& Cp1251() {
  static const std::unique_ptr<CodePage> code_page = MakeCodePage(1251);
  return *code_page;
}

RegFileOp KeyOp(Kind kind, RootKey root, std::string path, int line) {
  RegFileOp op;
  op.kind = kind;
  op.root = root;
  op.key_path = std::move(path);
  op.line = line;
  return op;
}

RegFileOp SetOp(std::string path, std::string name, uint32_t type, std::string data, int line,
                RootKey root = RootKey::kLocalMachine) {
  RegFileOp op = KeyOp(Kind::kSetValue, root, std::move(path), line);
  op.value_name = std::move(name);
  op.type = type;
  op.data = std::move(data);
  return op;
}

RegFileOp DeleteValueOp(std::string path, std::string name, int line) {
  RegFileOp op = KeyOp(Kind::kDeleteValue, RootKey::kLocalMachine, std::move(path), line);
  op.value_name = std::move(name);
  return op;
}

// A file as regedit 5 writes it: UTF-16LE behind a BOM.
std::string Utf16File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::vector<RegFileOp> Parse(std::string_view bytes, const CodePage& code_page = Cp1252()) {
  return ParseRegFile(bytes, "test.reg", code_page);
}

// ---------------------------------------------------------------------------
// Value lines, one per row, below "[HKEY_LOCAL_MACHINE\Software\Test]".

struct ValueCase {
  std::string line;
  RegFileOp expected;  // line number 4
};

TEST(RegFileValues, EveryTypeAndSyntaxOfARegedit4File) {
  const std::string key = "Software\\Test";
  const std::vector<ValueCase> cases = {
      {R"("Name"="abc")", SetOp(key, "Name", kRegSz, "abc\0"s, 4)},
      {R"("Empty"="")", SetOp(key, "Empty", kRegSz, "\0"s, 4)},
      {R"(@="default")", SetOp(key, "", kRegSz, "default\0"s, 4)},
      {R"("Q \"q\" \\"="C:\\Windows\\a \"b\"")",
       SetOp(key, "Q \"q\" \\", kRegSz, "C:\\Windows\\a \"b\"\0"s, 4)},
      {R"("semi;colon"="[not a key]")", SetOp(key, "semi;colon", kRegSz, "[not a key]\0"s, 4)},
      {"\"caf\xE9\"=\"\xE9t\xE9\"", SetOp(key, "caf\xE9", kRegSz, "\xE9t\xE9\0"s, 4)},
      {"\"Nul\"=\"a\0b\""s, SetOp(key, "Nul", kRegSz, "a\0b\0"s, 4)},
      {R"("D"=dword:0000abcd)", SetOp(key, "D", kRegDword, "\xcd\xab\0\0"s, 4)},
      {R"("D"=dword:1)", SetOp(key, "D", kRegDword, "\x01\0\0\0"s, 4)},
      {R"("D"=DWORD:FFFFFFFF)", SetOp(key, "D", kRegDword, "\xff\xff\xff\xff"s, 4)},
      {R"("B"=hex:01,ab,FF)", SetOp(key, "B", kRegBinary, "\x01\xab\xff"s, 4)},
      {R"("B"=hex:)", SetOp(key, "B", kRegBinary, "", 4)},
      {R"("B"=hex:1,2,)", SetOp(key, "B", kRegBinary, "\x01\x02"s, 4)},
      {R"("Spaced" = hex: 01 , 02)", SetOp(key, "Spaced", kRegBinary, "\x01\x02"s, 4)},
      {R"("N"=hex(0):)", SetOp(key, "N", kRegNone, "", 4)},
      {R"("N"=hex(0):de,ad)", SetOp(key, "N", kRegNone, "\xde\xad"s, 4)},
      // REGEDIT4 keeps string-type bytes as they are.
      {R"("E"=hex(2):25,41,25,00)", SetOp(key, "E", kRegExpandSz, "%A%\0"s, 4)},
      {R"("M"=hex(7):61,00,e9,00,00)", SetOp(key, "M", kRegMultiSz, "a\0\xe9\0\0"s, 4)},
      {R"("S"=hex(1):61,00)", SetOp(key, "S", kRegSz, "a\0"s, 4)},
      {R"("Q"=hex(b):01,00,00,00,00,00,00,80)",
       SetOp(key, "Q", kRegQword, "\x01\0\0\0\0\0\0\x80"s, 4)},
      {R"("D"=hex(4):78,56,34,12)", SetOp(key, "D", kRegDword, "\x78\x56\x34\x12"s, 4)},
      {R"("Big"=HEX(5):00)", SetOp(key, "Big", kRegDwordBigEndian, "\0"s, 4)},
      {R"("Odd"=hex(100000):ff)", SetOp(key, "Odd", 0x100000, "\xff"s, 4)},
      {R"("Gone"=-)", DeleteValueOp(key, "Gone", 4)},
      {R"(@=-)", DeleteValueOp(key, "", 4)},
      {"\t\"Indented\"=\"x\"  \t", SetOp(key, "Indented", kRegSz, "x\0"s, 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string file =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"s + c.line + "\r\n";
    const auto ops = Parse(file);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0], KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, key, 3));
    EXPECT_EQ(ops[1], c.expected);
  }
}

TEST(RegFileValues, HexListsContinueOnTheNextLine) {
  const std::string file =
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
      "\"Long\"=hex:01,02,\\\n"
      "  03,04,\\\r\n"
      "\t05\n"
      "\"NoComma\"=hex(3):aa\\\n"
      "  bb\n"
      "\"AtEnd\"=hex:0f,\\";
  EXPECT_EQ(Parse(file), (std::vector<RegFileOp>{
                             KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, "Software\\Test", 2),
                             SetOp("Software\\Test", "Long", kRegBinary, "\x01\x02\x03\x04\x05", 3),
                             SetOp("Software\\Test", "NoComma", kRegBinary, "\xaa\xbb", 6),
                             SetOp("Software\\Test", "AtEnd", kRegBinary, "\x0f", 8),
                         }));
}

// ---------------------------------------------------------------------------
// Key lines.

struct KeyCase {
  const char* line;
  RegFileOp expected;  // line number 2
};

TEST(RegFileKeys, RootsPathsAndDeletions) {
  const std::vector<KeyCase> cases = {
      {R"([HKEY_LOCAL_MACHINE\Software\A])",
       KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, "Software\\A", 2)},
      {R"([HKEY_CURRENT_USER\Software\A\])",
       KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "Software\\A", 2)},
      {R"([HKEY_CLASSES_ROOT\.txt])", KeyOp(Kind::kCreateKey, RootKey::kClassesRoot, ".txt", 2)},
      {R"([HKEY_USERS\.DEFAULT])", KeyOp(Kind::kCreateKey, RootKey::kUsers, ".DEFAULT", 2)},
      {R"([HKEY_CURRENT_CONFIG\System])",
       KeyOp(Kind::kCreateKey, RootKey::kCurrentConfig, "System", 2)},
      {R"([HKEY_CURRENT_USER])", KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "", 2)},
      {R"([HKLM\Software])", KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, "Software", 2)},
      {R"([hkcu\x])", KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "x", 2)},
      {R"([HKCR\CLSID])", KeyOp(Kind::kCreateKey, RootKey::kClassesRoot, "CLSID", 2)},
      {R"([HKU\S-1-5-18])", KeyOp(Kind::kCreateKey, RootKey::kUsers, "S-1-5-18", 2)},
      {R"([HKCC\Software])", KeyOp(Kind::kCreateKey, RootKey::kCurrentConfig, "Software", 2)},
      {R"([HKCU\Name]with])", KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "Name]with", 2)},
      {R"([HKCU\with space ])", KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "with space ", 2)},
      {R"([-HKEY_LOCAL_MACHINE\Software\Bad])",
       KeyOp(Kind::kDeleteKey, RootKey::kLocalMachine, "Software\\Bad", 2)},
      {R"([-HKCU\Software\Bad\])",
       KeyOp(Kind::kDeleteKey, RootKey::kCurrentUser, "Software\\Bad", 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Parse("REGEDIT4\n"s + c.line + "\n"), std::vector<RegFileOp>{c.expected});
  }
}

// ---------------------------------------------------------------------------
// A whole file: comments, blank lines, both line ends, line numbers.

TEST(RegFileDocument, CommentsBlankLinesAndLineNumbersWithEitherLineEnd) {
  const std::vector<std::string> lines = {
      "Windows Registry Editor Version 5.00",                                     // 1
      "",                                                                         // 2
      "; Run entries of the test machine",                                        // 3
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]",  // 4
      "\"ctfmon.exe\"=\"C:\\\\WINDOWS\\\\system32\\\\ctfmon.exe\"",               // 5
      "   ; indented comment",                                                    // 6
      "\"Old\"=-",                                                                // 7
      "",                                                                         // 8
      "[-HKEY_CURRENT_USER\\Software\\Adware]",                                   // 9
      "[HKEY_CURRENT_USER\\Software\\Tool]",                                      // 10
      "@=hex(2):25,00,00,00",                                                     // 11
      "\"Flags\"=hex:00,\\",                                                      // 12
      "  01",                                                                     // 13
      "\"Count\"=dword:00000010",                                                 // 14
  };
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::vector<RegFileOp> expected = {
      KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, run, 4),
      SetOp(run, "ctfmon.exe", kRegSz, "C:\\WINDOWS\\system32\\ctfmon.exe\0"s, 5),
      DeleteValueOp(run, "Old", 7),
      KeyOp(Kind::kDeleteKey, RootKey::kCurrentUser, "Software\\Adware", 9),
      KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "Software\\Tool", 10),
      SetOp("Software\\Tool", "", kRegExpandSz, "%\0"s, 11, RootKey::kCurrentUser),
      SetOp("Software\\Tool", "Flags", kRegBinary, "\0\x01"s, 12, RootKey::kCurrentUser),
      SetOp("Software\\Tool", "Count", kRegDword, "\x10\0\0\0"s, 14, RootKey::kCurrentUser),
  };
  for (const std::string line_end : {"\r\n", "\n"}) {
    SCOPED_TRACE(line_end == "\n" ? "LF" : "CRLF");
    std::string file;
    for (const auto& line : lines) file += line + line_end;
    EXPECT_EQ(Parse(file), expected);
  }
}

// ---------------------------------------------------------------------------
// Headers and encodings.

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The same ASCII content reads the same under either header and encoding.
TEST(RegFileEncodings, AsciiContentReadsAlikeUnderEveryHeaderAndEncoding) {
  const std::string body =
      "\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n"
      "\"S\"=\"x \\\"y\\\"\"\r\n"
      "\"D\"=dword:00000002\r\n"
      "\"B\"=hex:0a,\\\r\n  0b\r\n"
      "\"Del\"=-\r\n";
  const std::string v5 = "Windows Registry Editor Version 5.00\r\n" + body;
  const std::string v4 = "REGEDIT4\r\n" + body;
  const std::vector<std::pair<const char*, std::string>> files = {
      {"REGEDIT4", v4},
      {"REGEDIT4 with UTF-8 BOM", "\xEF\xBB\xBF" + v4},
      {"version 5, 8-bit", v5},
      {"version 5, UTF-8 BOM", "\xEF\xBB\xBF" + v5},
      {"version 5, UTF-16", Utf16File(Widen(v5))},
      {"lower-case header", "windows registry editor version 5.00\r\n" + body},
      {"blank lines before header", "\r\n\r\n" + v4},
  };
  const int shift = 2;  // the last file has its lines two further down
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    const int offset = std::string_view(name) == "blank lines before header" ? shift : 0;
    const auto ops = Parse(file);
    RegFileOp deleted = DeleteValueOp("Software\\A", "Del", 8 + offset);
    deleted.root = RootKey::kCurrentUser;
    EXPECT_EQ(
        ops,
        (std::vector<RegFileOp>{
            KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, "Software\\A", 3 + offset),
            SetOp("Software\\A", "S", kRegSz, "x \"y\"\0"s, 4 + offset, RootKey::kCurrentUser),
            SetOp("Software\\A", "D", kRegDword, "\x02\0\0\0"s, 5 + offset, RootKey::kCurrentUser),
            SetOp("Software\\A", "B", kRegBinary, "\x0a\x0b", 6 + offset, RootKey::kCurrentUser),
            deleted,
        }));
  }
}

// Names, strings and UTF-16 hex(2)/hex(7) bytes come out in the code page:
// "?" for what it lacks, one 0 byte per NUL.
struct CodePageCase {
  const CodePage& code_page;
  std::string key_path;  // Café\Привет
  std::string name;      // Имя
  std::string text;      // "café Привет"
  std::string expand;    // hex(2) "%П%"
  std::string multi;     // hex(7) "é", "ж"
};

const std::vector<CodePageCase>& CodePageCases() {
  static const std::vector<CodePageCase> cases = {
      {Cp1252(), "Caf\xE9\\??????", "???", "caf\xE9 ??????\0"s, "%?%\0"s, "\xE9\0?\0\0"s},
      {Cp1251(), "Caf?\\\xCF\xF0\xE8\xE2\xE5\xF2", "\xC8\xEC\xFF",
       "caf? \xCF\xF0\xE8\xE2\xE5\xF2\0"s, "%\xCF%\0"s, "?\0\xE6\0\0"s},
  };
  return cases;
}

constexpr char16_t kUnicodeFile[] =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_CURRENT_USER\\Caf\u00E9\\\u041F\u0440\u0438\u0432\u0435\u0442]\r\n"
    u"\"\u0418\u043C\u044F\"=\"caf\u00E9 \u041F\u0440\u0438\u0432\u0435\u0442\"\r\n"
    u"\"Expand\"=hex(2):25,00,1f,04,25,00,00,00\r\n"
    u"\"Multi\"=hex(7):e9,00,00,00,36,04,\\\r\n"
    u"  00,00,00,00\r\n";

std::vector<RegFileOp> ExpectedUnicodeOps(const CodePageCase& c) {
  return {
      KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, c.key_path, 3),
      SetOp(c.key_path, c.name, kRegSz, c.text, 4, RootKey::kCurrentUser),
      SetOp(c.key_path, "Expand", kRegExpandSz, c.expand, 5, RootKey::kCurrentUser),
      SetOp(c.key_path, "Multi", kRegMultiSz, c.multi, 6, RootKey::kCurrentUser),
  };
}

TEST(RegFileEncodings, Utf16FileConvertsToTheCodePage) {
  const std::string file = Utf16File(kUnicodeFile);
  for (const auto& c : CodePageCases()) {
    SCOPED_TRACE(c.code_page.Id());
    EXPECT_EQ(Parse(file, c.code_page), ExpectedUnicodeOps(c));
  }
}

TEST(RegFileEncodings, Utf8FileWithOrWithoutBomConvertsToTheCodePage) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Caf\xC3\xA9\\\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82]\r\n"
      "\"\xD0\x98\xD0\xBC\xD1\x8F\"=\"caf\xC3\xA9 "
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\"\r\n"
      "\"Expand\"=hex(2):25,00,1f,04,25,00,00,00\r\n"
      "\"Multi\"=hex(7):e9,00,00,00,36,04,\\\r\n"
      "  00,00,00,00\r\n";
  for (const auto& c : CodePageCases()) {
    SCOPED_TRACE(c.code_page.Id());
    EXPECT_EQ(Parse("\xEF\xBB\xBF" + utf8, c.code_page), ExpectedUnicodeOps(c));
    EXPECT_EQ(Parse(utf8, c.code_page), ExpectedUnicodeOps(c));
  }
}

// Without a BOM, text that is not UTF-8 is 8-bit text already in the code
// page; only the UTF-16 hex lists of version 5 are converted.
TEST(RegFileEncodings, Version5EightBitFileKeepsItsBytes) {
  const std::string file =
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_CURRENT_USER\\\xCF\xF0\xE8\xE2\xE5\xF2]\r\n"
      "\"caf\xE9\"=\"\xE9t\xE9\"\r\n"
      "\"E\"=hex(2):1f,04,00,00\r\n";
  const std::string key = "\xCF\xF0\xE8\xE2\xE5\xF2";
  EXPECT_EQ(Parse(file, Cp1251()),
            (std::vector<RegFileOp>{
                KeyOp(Kind::kCreateKey, RootKey::kCurrentUser, key, 2),
                SetOp(key, "caf\xE9", kRegSz, "\xE9t\xE9\0"s, 3, RootKey::kCurrentUser),
                SetOp(key, "E", kRegExpandSz, "\xCF\0"s, 4, RootKey::kCurrentUser),
            }));
}

TEST(RegFileEncodings, Utf16FileWithAnOddByteCountDropsTheLastByte) {
  const std::string file = Utf16File(u"REGEDIT4\r\n[HKLM\\A]\r\n\"x\"=\"\u00E9\"\r\n") + "\x41";
  EXPECT_EQ(Parse(file), (std::vector<RegFileOp>{
                             KeyOp(Kind::kCreateKey, RootKey::kLocalMachine, "A", 2),
                             SetOp("A", "x", kRegSz, "\xE9\0"s, 3),
                         }));
}

// ---------------------------------------------------------------------------
// Errors name the file and the line.

struct ErrorCase {
  std::string file;
  const char* message;
};

TEST(RegFileErrors, EachFaultNamesFileAndLine) {
  const std::string v4 = "REGEDIT4\r\n";
  const std::string key = v4 + "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n";
  const std::vector<ErrorCase> cases = {
      {"",
       "registry/00-system.reg:1: missing header: expected 'Windows Registry Editor Version "
       "5.00' or 'REGEDIT4'"},
      {"REGEDIT5\r\n[HKLM\\X]\r\n",
       "registry/00-system.reg:1: missing header: expected 'Windows Registry Editor Version "
       "5.00' or 'REGEDIT4'"},
      {"\r\n; comment first\r\nREGEDIT4\r\n",
       "registry/00-system.reg:2: missing header: expected 'Windows Registry Editor Version "
       "5.00' or 'REGEDIT4'"},
      {"\xFE\xFFREGEDIT4\r\n",
       "registry/00-system.reg:1: missing header: expected 'Windows Registry Editor Version "
       "5.00' or 'REGEDIT4'"},
      {v4 + "\r\n\"a\"=\"b\"\r\n",
       "registry/00-system.reg:3: value outside a key: no [key] line before it"},
      {v4 + "[-HKLM\\X]\r\n@=\"b\"\r\n",
       "registry/00-system.reg:3: value outside a key: no [key] line before it"},
      {key + "\"a\" \"b\"\r\n", "registry/00-system.reg:3: expected '=' after value name"},
      {key + "@\r\n", "registry/00-system.reg:3: expected '=' after value name"},
      {v4 + "[HKEY_NOWHERE\\X]\r\n", "registry/00-system.reg:2: unknown root key 'HKEY_NOWHERE'"},
      {v4 + "[]\r\n", "registry/00-system.reg:2: unknown root key ''"},
      {v4 + "[" + std::string(100, 'K') + "]\r\n",
       "registry/00-system.reg:2: unknown root key 'KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK...'"},
      {v4 + "[HKLM\\X\r\n", "registry/00-system.reg:2: missing closing ']' after the key name"},
      {v4 + "[HKLM\\X] ; note\r\n", "registry/00-system.reg:2: unexpected text after ']'"},
      {v4 + "[HKLM\\a\\\\b]\r\n", "registry/00-system.reg:2: empty key name in 'a\\\\b'"},
      {key + "\"a\"=\"abc\r\n",
       "registry/00-system.reg:3: unterminated string: missing closing '\"'"},
      {key + "\"a\"=\"abc\\\r\n",
       "registry/00-system.reg:3: unterminated string: missing closing '\"'"},
      {key + "\"abc=dword:1\r\n",
       "registry/00-system.reg:3: unterminated string: missing closing '\"'"},
      {key + "\"a\"=\"C:\\Windows\"\r\n",
       "registry/00-system.reg:3: unknown escape '\\W' in a string (write '\\\\')"},
      {key + "\"a\"=\"b\" c\r\n",
       "registry/00-system.reg:3: unexpected text after the closing '\"'"},
      {key + "\"a\"=dword:123456789\r\n",
       "registry/00-system.reg:3: bad dword '123456789': expected 1 to 8 hex digits"},
      {key + "\"a\"=dword:xyz\r\n",
       "registry/00-system.reg:3: bad dword 'xyz': expected 1 to 8 hex digits"},
      {key + "\"a\"=dword:\r\n",
       "registry/00-system.reg:3: bad dword '': expected 1 to 8 hex digits"},
      {key + "\"a\"=hex:01,zz\r\n", "registry/00-system.reg:3: bad hex byte 'zz'"},
      {key + "\"a\"=hex:123\r\n", "registry/00-system.reg:3: bad hex byte '123'"},
      {key + "\"a\"=hex:01,,02\r\n", "registry/00-system.reg:3: bad hex byte ''"},
      {key + "\"a\"=hex:01 02\r\n", "registry/00-system.reg:3: bad hex byte '01 02'"},
      {key + "\"a\"=hex:01,\\\r\n  02,\\\r\n  0g\r\n",
       "registry/00-system.reg:5: bad hex byte '0g'"},
      {key + "\"a\"=hex:01,\\\r\n[HKLM\\Y]\r\n",
       "registry/00-system.reg:4: bad hex byte '[HKLM\\Y]'"},
      {key + "\"a\"=hex(q):00\r\n",
       "registry/00-system.reg:3: bad value type in hex(...): expected 1 to 8 hex digits and ')'"},
      {key + "\"a\"=hex(2:00\r\n",
       "registry/00-system.reg:3: bad value type in hex(...): expected 1 to 8 hex digits and ')'"},
      {key + "\"a\"=hex()\r\n",
       "registry/00-system.reg:3: bad value type in hex(...): expected 1 to 8 hex digits and ')'"},
      {key + "\"a\"=hex(2)00\r\n", "registry/00-system.reg:3: expected ':' after hex(type)"},
      {key + "\"a\"=foo\r\n",
       "registry/00-system.reg:3: unknown value data 'foo'; expected \"text\", dword:, hex:, "
       "hex(type): or -"},
      {key + "\"a\"=\r\n",
       "registry/00-system.reg:3: unknown value data ''; expected \"text\", dword:, hex:, "
       "hex(type): or -"},
      {key + "\"a\"=--\r\n",
       "registry/00-system.reg:3: unknown value data '--'; expected \"text\", dword:, hex:, "
       "hex(type): or -"},
      {key + "foo=bar\r\n",
       "registry/00-system.reg:3: unexpected text 'foo=bar'; expected [key], \"name\"=data, "
       "@=data or a ; comment"},
      {key + "REGEDIT4\r\n",
       "registry/00-system.reg:3: unexpected text 'REGEDIT4'; expected [key], \"name\"=data, "
       "@=data or a ; comment"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    try {
      ParseRegFile(c.file, "registry/00-system.reg", Cp1252());
      ADD_FAILURE() << "no error, expected: " << c.message;
    } catch (const RegFileError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(RegFileErrors, Utf16FileCountsLinesInCharacters) {
  const std::string file =
      Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n\"\u00E9\"=\"x\"\r\n");
  try {
    Parse(file);
    FAIL() << "no error";
  } catch (const RegFileError& error) {
    EXPECT_EQ(error.line(), 3);
    EXPECT_STREQ(error.what(), "test.reg:3: value outside a key: no [key] line before it");
  }
}

// ---------------------------------------------------------------------------
// Hostile input: huge lines, long continuations.

TEST(RegFileHostile, HugeHexLineAndLongContinuationParse) {
  constexpr size_t kBytes = 1 << 20;
  std::string line = "\"Big\"=hex:";
  for (size_t i = 0; i < kBytes; ++i) line += i + 1 < kBytes ? "5a," : "5a";
  std::string continued = "\"Long\"=hex:";
  constexpr int kLines = 100000;
  for (int i = 0; i < kLines; ++i) continued += "01,\\\n  ";
  continued += "02\n";
  const auto ops = Parse("REGEDIT4\n[HKLM\\X]\n" + line + "\n" + continued + "@=\"after\"\n");
  ASSERT_EQ(ops.size(), 4u);
  EXPECT_EQ(ops[1].data, std::string(kBytes, '\x5a'));
  EXPECT_EQ(ops[2].data, std::string(kLines, '\x01') + "\x02");
  EXPECT_EQ(ops[2].line, 4);
  EXPECT_EQ(ops[3], SetOp("X", "", kRegSz, "after\0"s, 4 + kLines + 1));
}

TEST(RegFileHostile, HugeUnterminatedStringAndKeyFailOnTheirLine) {
  const std::string huge(4 << 20, 'a');
  for (const std::string& line : {"\"v\"=\"" + huge, "\"" + huge, "[HKLM\\" + huge}) {
    try {
      Parse("REGEDIT4\n[HKLM\\X]\n" + line + "\n@=\"after\"\n");
      ADD_FAILURE() << "no error";
    } catch (const RegFileError& error) {
      EXPECT_EQ(error.line(), 3);
      EXPECT_LT(std::string_view(error.what()).size(), 200u);
    }
  }
}

// The fuzzer's seeds must be valid files so that it starts deep in the
// parser rather than at the header check.
TEST(RegFileHostile, FuzzSeedsAreValidFiles) {
  const std::filesystem::path seeds = TARNSCAN_SOURCE_DIR "/fuzz/corpus/reg_file";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_GE(ParseRegFile(bytes, entry.path().string(), Cp1251()).size(), 2u);
    ++files;
  }
  EXPECT_GT(files, 0) << "no seeds in " << seeds;
}

}  // namespace
}  // namespace tarnscan::platform

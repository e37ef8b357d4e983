// Every shortcut of the real-data collection against the target Windows
// gives for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/codepage.h"
#include "platform/offline/shell_link.h"
#include "platform/text.h"
#include "support/files.h"

namespace tarnscan::platform {
namespace {

const std::filesystem::path kRealData = TARNSCAN_REALDATA_DIR;


std::string TargetOf(const std::filesystem::path& path, const CodePage& code_page) {
  const std::string bytes = testing::ReadFile(path.string());
  return ReadShortcutTarget(MemoryByteSource(bytes), code_page);
}

// lnk-facts.tsv: file -> the lnkinfo path, the share path where there is
// one (GetPath with UNC priority prefers it), for the links whose
// link-information block gives the target.
std::map<std::string, std::string> LinkInfoTargets() {
  std::map<std::string, std::string> targets;
  std::ifstream in(kRealData / "expected" / "lnk-facts.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || StartsWith(line, "file\t")) continue;
    const auto fields = Split(line, '\t');
    if (fields.size() < 5) continue;
    const std::string_view kind = fields[2];
    if (kind != "local" && kind != "net") continue;
    targets[std::string(fields[0])] = std::string(fields[4].empty() ? fields[3] : fields[4]);
  }
  return targets;
}

// Targets lnkinfo does not report, worked out from each file's bytes. All
// are ASCII, so the same in every code page.
const std::map<std::string, std::string>& DerivedTargets() {
  static const std::map<std::string, std::string> targets = {
      // ID list only: My Computer, a drive, then items named by their long names.
      {"lnk/winxp/Windows Messenger.lnk", "C:\\Program Files\\Messenger\\msmsgs.exe"},
      {"lnk/win7/Windows PowerShell.lnk",
       "C:\\WINDOWS\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
      {"lnk/misc/native.2008srv.08.lnk", "C:\\Program Files\\Internet Explorer\\iexplore.exe"},
      {"lnk/misc/native.xp.19.lnk", "E:\\"},
      {"lnk/lnkparse3/broken_link_info.lnk", "C:\\Program Files\\xt\\xt.exe"},
      // Advertised (Darwin) links: GetPath gives the icon the list points at.
      {"lnk/misc/local.file.darwin.lnk",
       "C:\\Windows\\Installer\\{AC76BA86-7AD7-1036-7B44-A93000000001}\\SC_Reader.ico"},
      {"lnk/misc/native.seven.08.lnk",
       "C:\\Windows\\Installer\\{90140000-0011-0000-0000-0000000FF1CE}\\cagicon.exe"},
      {"lnk/lnkparse3/darwin_block.lnk",
       "C:\\Windows\\Installer\\{DB8757A3-1B62-4136-8D95-D2CB9F00E36C}\\test_icon.ico"},
      // Items with UTF-16 names and no extension block; the working folder's
      // count claims 1693 characters, Windows reads MAX_PATH of them.
      {"lnk/lnkparse3/padded_cli_arguments.lnk", "C:\\Windows\\System32\\cmd.exe"},
      // Lists with no file-system path: Internet, Control Panel, known
      // folders, a device.
      {"lnk/winxp/Windows Catalog.lnk", ""},
      {"lnk/winvista/Control Panel.lnk", ""},
      {"lnk/win7/Control Panel.lnk", ""},
      {"lnk/misc/native.seven.05.lnk", ""},
      {"lnk/misc/ImDisk Virtual Disk Driver.lnk", ""},
      {"lnk/win8.1/Documents.lnk", ""},
      {"lnk/win10/04 - Downloads.lnk", ""},
      {"lnk/lnkparse3/sample3.lnk", ""},
      // Neither list nor link information: the environment target, unexpanded.
      {"lnk/win7/Calculator.lnk", "%windir%\\system32\\calc.exe"},
      {"lnk/win10/Notepad.lnk", "%windir%\\system32\\notepad.exe"},
      {"lnk/win10/Hyper-V Manager.lnk", "%windir%\\System32\\mmc.exe"},
      {"lnk/win2012r2/DashboardSafeMode.lnk", "%windir%\\system32\\Essentials\\Dashboard.exe"},
      {"lnk/misc/native.seven.10.lnk", "%windir%\\system32\\calc.exe"},
      {"lnk/misc/native.seven.14.lnk", "%windir%\\system32\\WFS.exe"},
      {"lnk/plaso/example.lnk", "%windir%\\system32\\migwiz\\migwiz.exe"},
      // A packaged-app link: nothing but flags.
      {"lnk/win8.1/microsoft.onenoteim.lnk", ""},
      // lnkinfo cannot open it; its link information holds a local path.
      {"lnk/lnkparse3/extra_data.lnk", "C:\\Users\\Jonathan\\AppData\\Roaming\\.minecraft"},
  };
  return targets;
}

class RealShortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kRealData / "lnk") ||
        !std::filesystem::exists(kRealData / "expected" / "lnk-facts.tsv")) {
      GTEST_SKIP() << "real shortcuts not found under " << kRealData;
    }
  }
  std::unique_ptr<CodePage> cp1252_ = MakeCodePage(1252);
};

TEST_F(RealShortcuts, EveryShortcutGivesTheTargetWindowsGives) {
  const auto link_info_targets = LinkInfoTargets();
  ASSERT_FALSE(link_info_targets.empty());
  // lnkinfo shows the path with a U+FFFD for the unpaired surrogate of the
  // Unicode base path and drops the dot after it; GetPath converts the
  // Unicode path with the code page.
  const std::string unpaired_surrogate =
      cp1252_->FromUtf16(u"C:\\test\\unicode_U+0000d800_\xD800.exe");
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kRealData / "lnk")) {
    if (!entry.is_regular_file() || entry.path().extension() != ".lnk") continue;
    const std::string name = (entry.path().lexically_relative(kRealData)).generic_string();
    SCOPED_TRACE(name);
    std::string expected;
    if (name == "lnk/plaso/unpaired_surrogate.lnk") {
      expected = unpaired_surrogate;
    } else if (auto derived = DerivedTargets().find(name); derived != DerivedTargets().end()) {
      expected = derived->second;
    } else if (auto listed = link_info_targets.find(name); listed != link_info_targets.end()) {
      // lnkinfo decodes the 8-bit strings as cp1252: back to the bytes.
      expected = cp1252_->FromUtf16(Utf8ToUtf16(listed->second));
    } else {
      ADD_FAILURE() << "no expected target for this shortcut";
      continue;
    }
    EXPECT_EQ(TargetOf(entry.path(), *cp1252_), expected);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// 8-bit strings keep the bytes of the machine that wrote them; Unicode
// strings come out in the scanned system's code page.
TEST_F(RealShortcuts, TextIsInTheScannedSystemsCodePage) {
  struct Case {
    const char* file;
    int code_page;
    const char* expected_utf8;
  };
  const Case cases[] = {
      {"lnk/lnkparse3/invalid_date3.lnk", 1251, "C:\\Users\\Пользователь\\Desktop\\\u00A0"},
      {"lnk/lnkparse3/decoding_error3.lnk", 1251,
       "\\\\DESKTOP-9AI08QD\\Users\\Дима\\Desktop\\PixelMod\\Mod for Pixelmon\\Error Fix.bat"},
      {"lnk/lnkparse3/sample6.lnk", 936,
       "C:\\Youdao\\ShoppingAssistant\\ie\\4.4\\播放器正在加载（拦截请允许）.exe"},
      // Unicode net name and suffix: U+0793 has no GBK form, the Chinese does.
      {"lnk/misc/unicodeNetworkPath.lnk", 936, "\\\\?\\C\\relay\\说明.txt"},
      {"lnk/misc/unicodeNetworkPath.lnk", 1252, "\\\\?\\C\\relay\\??.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " in code page " + std::to_string(c.code_page));
    const auto path = kRealData / c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not found";
    const auto code_page = MakeCodePage(c.code_page);
    ASSERT_EQ(code_page->Id(), c.code_page);
    EXPECT_EQ(TargetOf(path, *code_page), code_page->FromUtf16(Utf8ToUtf16(c.expected_utf8)));
  }
}

}  // namespace
}  // namespace tarnscan::platform

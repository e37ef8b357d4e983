#include "platform/registry_reader.h"
#include "registry/network_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

using platform::RegistryValue;
using platform::RootKey;

const std::string kParameters = "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters";
const std::string kHeader = "[HKEY_LOCAL_MACHINE\\" + kParameters + "\\";

TEST(DecodePackedCatalogPath, TextUpToTheFirstZeroWithinTheFirstThousandBytes) {
  using namespace std::string_literals;
  struct Case {
    std::string packed;
    std::string path;
  };
  const Case cases[] = {
      {"", ""},
      {"\0C:\\x.dll"s, ""},
      {"%SystemRoot%\\system32\\mswsock.dll\0ls\\VSock SDK\\vsocklib.dll\0"s,
       "%SystemRoot%\\system32\\mswsock.dll"},
      {"C:\\lsp.dll", "C:\\lsp.dll"},
      {std::string(999, 'x') + "\0tail"s, std::string(999, 'x')},
      {std::string(1000, 'x') + "\0"s, std::string(1000, 'x')},
      {std::string(1500, 'x'), std::string(1000, 'x')},
      {"\xE9t\xE9\\lsp.dll\0"s, "\xE9t\xE9\\lsp.dll"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodePackedCatalogPath(c.packed), c.path) << c.packed;
}

class Winsock2Catalogs : public RegistryScanTest {
 protected:
  Winsock2Catalogs() {
    using namespace std::string_literals;
    AddProgram("C:\\WINDOWS\\system32\\mswsock.dll", "Microsoft Corporation");
    AddProgram("C:\\Program Files\\Tool\\lsp.dll", "Tool Corp");
    AddProgram("C:\\Program Files\\Tool\\nsp.dll", "Tool Corp");
    Reg(R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters]
"Current_Protocol_Catalog"="Protocol_Catalog9"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\NameSpace_Catalog5\Catalog_Entries\000000000001]
"LibraryPath"="%SystemRoot%\\System32\\mswsock.dll"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\NameSpace_Catalog5\Catalog_Entries\000000000002]
"LibraryPath"="C:\\Program Files\\Tool\\nsp.dll"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Protocol_Catalog9\Catalog_Entries\000000000003]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Settings]
"Enabled"=dword:00000001
)");
    SetPacked("000000000001",
              "%SystemRoot%\\system32\\mswsock.dll\0stale\\old.dll\0"s + std::string(300, '\x01'));
    SetPacked("000000000002", "C:\\Program Files\\Tool\\lsp.dll\0"s + std::string(600, '\0'));
  }

  std::string EntryKey(const std::string& entry) const {
    return kParameters + "\\Protocol_Catalog9\\Catalog_Entries\\" + entry;
  }
  void SetPacked(const std::string& entry, std::string bytes,
                 uint32_t type = platform::kRegBinary) {
    scan.test_system.registry.SetValue(RootKey::kLocalMachine, EntryKey(entry), "PackedCatalogItem",
                                       RegistryValue{type, std::move(bytes)});
  }
};

TEST_F(Winsock2Catalogs, ShowAllListsEveryEntryOfEveryCatalog) {
  ASSERT_TRUE(context().options.Ticked("chkAllWinsock2"));  // its start state
  EXPECT_EQ(
      Run(ScanWinsock2Catalogs),
      (Lines{kHeader + "NameSpace_Catalog5\\Catalog_Entries]",
             "  \\000000000001\\\\LibraryPath - %SystemRoot%\\System32\\mswsock.dll "
             "(Microsoft Corporation)",
             "  \\000000000002\\\\LibraryPath - C:\\Program Files\\Tool\\nsp.dll (Tool Corp)",
             kHeader + "Protocol_Catalog9\\Catalog_Entries]",
             "  \\000000000001\\\\PackedCatalogItem - %SystemRoot%\\system32\\mswsock.dll "
             "(Microsoft Corporation)",
             "  \\000000000002\\\\PackedCatalogItem - C:\\Program Files\\Tool\\lsp.dll (Tool Corp)",
             "  \\000000000003\\\\PackedCatalogItem -  ()", kHeader + "Settings\\Catalog_Entries]",
             ""}));
}

TEST_F(Winsock2Catalogs, WithoutShowAllMicrosoftLibrariesAreHidden) {
  context().options.Set("chkAllWinsock2", false);
  EXPECT_EQ(
      Run(ScanWinsock2Catalogs),
      (Lines{kHeader + "NameSpace_Catalog5\\Catalog_Entries]",
             "  \\000000000002\\\\LibraryPath - C:\\Program Files\\Tool\\nsp.dll (Tool Corp)",
             kHeader + "Protocol_Catalog9\\Catalog_Entries]",
             "  \\000000000002\\\\PackedCatalogItem - C:\\Program Files\\Tool\\lsp.dll (Tool Corp)",
             "  \\000000000003\\\\PackedCatalogItem -  ()", kHeader + "Settings\\Catalog_Entries]",
             ""}));
}

TEST_F(Winsock2Catalogs, APackedItemOfTextOrNumberTypeEndsTheScan) {
  for (uint32_t type : {platform::kRegSz, platform::kRegExpandSz, platform::kRegDword}) {
    SetPacked("000000000003", std::string("\x01\0\0\0", 4), type);
    context().log.Clear();
    EXPECT_THROW(ScanWinsock2Catalogs(context()), platform::RegistryError) << type;
  }
  // Types the reader does not know are read as bytes.
  SetPacked("000000000003", std::string("C:\\multi.dll\0\0", 14), platform::kRegMultiSz);
  context().log.Clear();
  const Lines& lines = Run(ScanWinsock2Catalogs);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "  \\000000000003\\\\PackedCatalogItem - C:\\multi.dll ()"),
            lines.end());
}

TEST_F(Winsock2Catalogs, NoWinsockKeyGivesOnlyTheClosingLine) {
  scan.test_system.registry.DeleteKey(RootKey::kLocalMachine, kParameters);
  EXPECT_EQ(Run(ScanWinsock2Catalogs), Lines{""});
}

}  // namespace
}  // namespace tarnscan::testing

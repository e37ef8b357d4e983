#include "registry/network_sections.h"

#include <algorithm>
#include <vector>

#include "main/extract_file.h"
#include "platform/text.h"
#include "registry/reg_data_lookup.h"
#include "registry/registry_conventions.h"

namespace tarnscan {
namespace {

using platform::RootKey;

// ---------------------------------------------------------------- DNS

constexpr const char* kTcpipAdapters =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Adapters";
constexpr const char* kTcpipInterfaces =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
constexpr const char* kNetworkCards =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
constexpr const char* kNetClass9x = "System\\CurrentControlSet\\Services\\Class\\Net";
constexpr const char* kMstcp9x = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

// The description of the network card bound to `adapter`: the last card
// whose "ServiceName" is the adapter's name, letter case included.
std::string CardDescription(ScanContext& context, const std::string& adapter) {
  auto& cards = *context.reg2;
  std::vector<std::string> card_names;
  OpenFromRoot(cards, RootKey::kLocalMachine, kNetworkCards);
  FillSubKeyNames(cards, card_names);
  cards.CloseKey();
  std::string description;
  for (const auto& card : card_names) {
    OpenFromRoot(cards, RootKey::kLocalMachine, std::string(kNetworkCards) + "\\" + card);
    if (cards.ReadString("ServiceName") == adapter) description = cards.ReadString("Description");
    cards.CloseKey();
  }
  return description;
}

void WriteAdapterNameServers(ScanContext& context) {
  auto& reg = context.reg1;
  OpenFromRoot(reg, RootKey::kLocalMachine, kTcpipAdapters);
  FillSubKeyNames(reg, context.key_list);
  context.reg2->CloseKey();
  context.reg2->SetRoot(RootKey::kLocalMachine);
  for (const auto& adapter : context.key_list) {
    OpenFromRoot(reg, RootKey::kLocalMachine, kTcpipInterfaces + adapter);
    FillValueNames(reg, context.key_list2);
    // Only the list set by hand: "DhcpNameServer" and the like do not
    // count.
    for (const auto& name : context.key_list2) {
      if (platform::UpperCase(name) != "NAMESERVER") continue;
      const std::string description = CardDescription(context, adapter);
      context.log.Add("  " + adapter + " - " + reg.ReadString("NameServer") + "  (" + description +
                      ")");
    }
  }
}

void WriteNameServer9x(ScanContext& context) {
  auto& reg = context.reg1;
  context.log.Add("  Adapters:");
  OpenFromRoot(reg, RootKey::kLocalMachine, kNetClass9x);
  FillSubKeyNames(reg, context.key_list);
  for (const auto& driver : context.key_list) {
    OpenFromRoot(reg, RootKey::kLocalMachine, std::string(kNetClass9x) + "\\" + driver);
    context.log.Add("    " + reg.ReadString("DriverDesc"));
  }
  OpenFromRoot(reg, RootKey::kLocalMachine, kMstcp9x);
  context.log.Add("  Name Server: " + reg.ReadString("NameServer"));
}

// ---------------------------------------------------------------- Winsock2

constexpr const char* kWinsockParameters =
    "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters";

void WriteCatalogEntry(ScanContext& context, const std::string& entries_key,
                       const std::string& entry) {
  auto& reg = context.reg1;
  OpenFromRoot(reg, RootKey::kLocalMachine, entries_key + "\\" + entry);
  std::string library;
  std::string_view value_piece;
  if (reg.ValueExists("LibraryPath")) {
    library = reg.ReadString("LibraryPath");
    value_piece = "\\\\LibraryPath";
  } else {
    library = DecodePackedCatalogPath(reg.ReadBinary("PackedCatalogItem"));
    value_piece = "\\\\PackedCatalogItem";
  }
  LookUpRegData(context, library);
  if (!NonMicrosoftFilterHides(context, "chkAllWinsock2")) {
    context.log.Add(std::string(kOneBackslash) + entry + std::string(value_piece) + " - " +
                    library + context.reg_company);
  }
  reg.CloseKey();
}

void WriteCatalog(ScanContext& context, const std::string& catalog) {
  auto& reg = context.reg1;
  const std::string entries_key =
      std::string(kWinsockParameters) + "\\" + catalog + "\\Catalog_Entries";
  OpenFromRoot(reg, RootKey::kLocalMachine, entries_key);
  FillSubKeyNames(reg, context.key_list2);
  reg.CloseKey();
  context.log.Add("[HKEY_LOCAL_MACHINE\\" + entries_key + "]");
  for (const auto& entry : context.key_list2) WriteCatalogEntry(context, entries_key, entry);
  context.key_list2.clear();
}

// ---------------------------------------------------------------- protocols

struct ProtocolList {
  const char* key;
  const char* header;
  const char* show_all_box;
};

constexpr ProtocolList kProtocolHandlers = {
    "SOFTWARE\\Classes\\PROTOCOLS\\Handler",
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Handler]", "chkAllProtocolHandlers"};
constexpr ProtocolList kProtocolFilters = {
    "SOFTWARE\\Classes\\PROTOCOLS\\Filter",
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Filter]", "chkAllProtocolFilters"};

constexpr std::string_view kHkcuSuffix = " (HKCU CLSID)";

// A protocol or one of its subkeys: `shown` starts its lines, `clsid` is
// its "CLSID" value.
struct ProtocolClass {
  std::string shown;
  std::string clsid;
};

// The line of one hive's registration of the class; false when the filter
// hides it.
bool WriteProtocolLine(ScanContext& context, const ProtocolList& list, const ProtocolClass& item,
                       RootKey hive) {
  const auto lookup = LookUpInprocServer(context, hive, item.clsid);
  const bool per_user = hive == RootKey::kCurrentUser;
  // A per-user class counts only when it names a library: the class key
  // alone changes nothing the browser loads.
  if (per_user && context.reg_file == kRegDataMissing) return false;
  if (NonMicrosoftFilterHides(context, list.show_all_box)) return false;
  context.log.Add(std::string(kOneBackslash) + item.shown + " - " + lookup.file_text +
                  context.reg_company + (per_user ? std::string(kHkcuSuffix) : std::string()));
  return true;
}

void WriteProtocol(ScanContext& context, const ProtocolList& list, const std::string& protocol) {
  auto& reg = context.reg1;
  const std::string protocol_key = std::string(list.key) + "\\" + protocol;
  OpenFromRoot(reg, RootKey::kLocalMachine, protocol_key);
  FillSubKeyNames(reg, context.key_list2);
  const ProtocolClass item{protocol, reg.ReadString("CLSID")};
  // A Microsoft protocol hides its subkeys and per-user class with it.
  if (!WriteProtocolLine(context, list, item, RootKey::kLocalMachine)) return;
  for (const auto& sub : context.key_list2) {
    OpenFromRoot(reg, RootKey::kLocalMachine, protocol_key + "\\" + sub);
    const ProtocolClass sub_item{protocol + "\\" + sub, reg.ReadString("CLSID")};
    if (WriteProtocolLine(context, list, sub_item, RootKey::kLocalMachine)) {
      WriteProtocolLine(context, list, sub_item, RootKey::kCurrentUser);
    }
  }
  WriteProtocolLine(context, list, item, RootKey::kCurrentUser);
}

void ScanProtocols(ScanContext& context, const ProtocolList& list) {
  auto& reg = context.reg1;
  OpenFromRoot(reg, RootKey::kLocalMachine, list.key);
  FillSubKeyNames(reg, context.key_list);
  if (!context.key_list.empty()) {
    context.log.Add(list.header);
    for (const auto& protocol : context.key_list) WriteProtocol(context, list, protocol);
  }
  EndSection(context);
}

}  // namespace

std::string DecodePackedCatalogPath(std::string_view packed) {
  const std::string_view examined = packed.substr(0, std::min(packed.size(), kPackedPathLimit));
  return std::string(examined.substr(0, examined.find('\0')));
}

void ScanDNSNameServers(ScanContext& context) {
  if (context.env.os_family == "xp") {
    WriteAdapterNameServers(context);
  } else {
    WriteNameServer9x(context);
  }
  EndSection(context);
}

void ScanWinsock2Catalogs(ScanContext& context) {
  auto& reg = context.reg1;
  OpenFromRoot(reg, RootKey::kLocalMachine, kWinsockParameters);
  FillSubKeyNames(reg, context.key_list);
  reg.CloseKey();
  for (const auto& catalog : context.key_list) WriteCatalog(context, catalog);
  context.key_list.clear();
  context.log.Add("");
}

void ScanProtocolHandlers(ScanContext& context) { ScanProtocols(context, kProtocolHandlers); }

void ScanProtocolFilters(ScanContext& context) { ScanProtocols(context, kProtocolFilters); }

}  // namespace tarnscan

#include "registry/browser_sections.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "main/extract_file.h"
#include "platform/text.h"
#include "registry/registry_conventions.h"

namespace tarnscan {
namespace {

using platform::RegistryReader;
using platform::RootKey;

constexpr RootKey kLm = RootKey::kLocalMachine;
constexpr RootKey kCu = RootKey::kCurrentUser;


// ---- Internet Explorer settings ----

struct SettingsGroup {
  RootKey hive;
  std::string_view key;
  std::string_view header;
  bool header_always;
  std::vector<std::string_view> values;
};

// clang-format off
const std::vector<SettingsGroup>& SettingsGroups() {
  static const std::vector<std::string_view> kMainValues{
      "Start Page",         "Search Bar", "Search Page", "Default_Page_URL",
      "Default_Search_URL", "Local Page"};
  static const std::vector<SettingsGroup> groups{
      {kLm, "SOFTWARE\\Microsoft\\Internet Explorer",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]", false,
       {"Search", "SearchURL"}},
      {kCu, "SOFTWARE\\Microsoft\\Internet Explorer",
       "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer]", false,
       {"Search", "SearchURL"}},
      {kLm, "SOFTWARE\\Microsoft\\Internet Explorer\\Main",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Main]", true, kMainValues},
      {kCu, "SOFTWARE\\Microsoft\\Internet Explorer\\Main",
       "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\Main]", true, kMainValues},
      {kLm, "SOFTWARE\\Microsoft\\Internet Explorer\\Search",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Search]", false,
       {"CustomizeSearch", "SearchAssistant"}},
      {kCu, "SOFTWARE\\Microsoft\\Internet Explorer\\Search",
       "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\Search]", false,
       {"CustomizeSearch", "SearchAssistant"}},
  };
  return groups;
}
// clang-format on

bool AnyValueExists(const RegistryReader& reader, const std::vector<std::string_view>& names) {
  for (const auto name : names) {
    if (reader.ValueExists(name)) return true;
  }
  return false;
}

void WriteSettingsGroup(ScanContext& context, const SettingsGroup& group) {
  auto& reg1 = context.reg1;
  OpenFromRoot(reg1, group.hive, group.key);
  if (group.header_always || AnyValueExists(reg1, group.values)) {
    context.log.Add(std::string(group.header));
  }
  for (const auto name : group.values) {
    if (!reg1.ValueExists(name)) continue;
    // Shown as stored: a local page under %SystemRoot% stays unexpanded.
    context.log.Add(std::string(kTwoBackslashes) + std::string(name) + " - " +
                    reg1.ReadString(name));
  }
  context.log.Add("");
}

// ---- CLSID lists in the model form ----

enum class Names { kSubKeys, kValues };

struct ClsidList {
  RootKey hive;
  std::string_view key;
  std::string_view header;
  Names names;
  std::string_view prefix;
};

// Header, then one model-form entry per listed name, whatever its form.
void WriteClsidList(ScanContext& context, const ClsidList& list) {
  auto& reg1 = context.reg1;
  context.log.Add(std::string(list.header));
  OpenFromRoot(reg1, list.hive, list.key);
  if (list.names == Names::kSubKeys) {
    FillSubKeyNames(reg1, context.key_list);
  } else {
    FillValueNames(reg1, context.key_list);
  }
  CloseOnRoot(reg1, kLm);
  CloseOnRoot(*context.reg2, kLm);
  const ClsidEntryChoices model{.prefix = list.prefix};
  for (const auto& name : context.key_list) WriteClsidEntry(context, name, model);
  EndSection(context);
}

const ClsidList kUrlSearchHooks{
    kCu, "Software\\Microsoft\\Internet Explorer\\URLSearchHooks",
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\URLSearchHooks]", Names::kValues,
    kTwoBackslashes};

const ClsidList kBrowserHelperObjects{
    kLm, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser "
    "Helper Objects]",
    Names::kSubKeys, kOneBackslash};

const std::array<ClsidList, 3> kBarLists{{
    {kLm, "SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars]", Names::kSubKeys,
     kOneBackslash},
    {kCu, "SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars",
     "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Explorer Bars]", Names::kSubKeys,
     kOneBackslash},
    {kLm, "SOFTWARE\\Microsoft\\Internet Explorer\\ToolBar",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\ToolBar]", Names::kValues,
     kTwoBackslashes},
}};

// ---- IE bars: user toolbars, command mapping, extensions ----

constexpr std::string_view kUserToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";
constexpr std::string_view kCmdMapping =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\CmdMapping";
constexpr std::string_view kExtensions = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";

bool IsClsidName(std::string_view name) { return !name.empty() && name.front() == '{'; }

// Each subkey (ShellBrowser, WebBrowser, Explorer) holds the toolbars as
// CLSID-named values beside layout data, which gives no line.
void WriteUserToolbars(ScanContext& context) {
  auto& reg1 = context.reg1;
  context.log.Add("[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Toolbar]");
  OpenFromRoot(reg1, kCu, kUserToolbar);
  FillSubKeyNames(reg1, context.key_list);
  reg1.CloseKey();
  CloseOnRoot(*context.reg2, kLm);
  const ClsidEntryChoices model{.prefix = kOneBackslash};
  for (const auto& toolbar_key : context.key_list) {
    OpenFromRoot(reg1, kCu, std::string(kUserToolbar) + "\\" + toolbar_key);
    FillValueNames(reg1, context.key_list2);
    CloseOnRoot(reg1, kLm);
    for (const auto& value : context.key_list2) {
      if (!IsClsidName(value)) continue;
      WriteClsidEntryAs(context, toolbar_key + "\\\\" + value, value, model);
    }
  }
  context.key_list2.clear();
  EndSection(context);
}

// The numbers the browser gave its extensions' commands. NEXTID is the
// next free one; any other value names an extension key.
void WriteCommandMapping(ScanContext& context) {
  auto& reg1 = context.reg1;
  auto& reg2 = *context.reg2;
  context.log.Add("[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\CmdMapping]");
  OpenFromRoot(reg1, kCu, kCmdMapping);
  FillValueNames(reg1, context.key_list);
  // An empty mapping writes no closing empty line: the next header follows.
  if (context.key_list.empty()) return;
  for (const auto& name : context.key_list) {
    if (platform::UpperCase(name) == "NEXTID") {
      context.log.Add(std::string(kTwoBackslashes) + "NEXTID - " +
                      std::to_string(reg1.ReadInteger(name)));
      continue;
    }
    OpenFromRoot(reg2, kLm, std::string(kExtensions) + "\\" + name);
    const int32_t command = reg1.ReadInteger(name);
    context.log.Add(std::string(kTwoBackslashes) + name + " - " + std::to_string(command) + " = " +
                    reg2.ReadString("MenuText"));
  }
  EndSection(context);
}

bool HasValue(const std::vector<std::string>& names, std::string_view wanted) {
  for (const auto& name : names) {
    if (platform::EqualsIgnoreCase(name, wanted)) return true;
  }
  return false;
}

// An extension without a button is a menu item served by a COM class.
const ClsidEntryChoices kMenuExtension{
    .prefix = kOneBackslash,
    .clsid_text = ClsidText::kNamedValue,
    .clsid_value_name = "ClsidExtension",
    .description = DescriptionText::kNamedValue,
    .description_value_name = "MenuText",
    .description_lead = "MenuText: ",
    .open_machine_class_key = false,
    .per_user_line = PerUserLine::kWhenInprocServerExists,
};

// A button runs a program (Exec), a script (Script) or a COM class
// (ClsidExtension); only a program is given its company.
void WriteExtension(ScanContext& context, const std::string& extension) {
  auto& reg1 = context.reg1;
  OpenFromRoot(reg1, kLm, std::string(kExtensions) + "\\" + extension);
  FillValueNames(reg1, context.key_list2);
  const auto& names = context.key_list2;
  const std::string start = std::string(kOneBackslash) + extension + " - ButtonText: ";
  if (HasValue(names, "ButtonText") && HasValue(names, "Exec")) {
    const std::string program = reg1.ReadString("Exec");
    context.reg_file = ExtractFileFromRegData(context, program);
    context.reg_company = CompanySuffix(context, context.reg_file);
    context.log.Add(start + reg1.ReadString("ButtonText") + " = " + program + context.reg_company);
  } else if (HasValue(names, "ButtonText")) {
    const std::string text = reg1.ReadString("ButtonText");
    context.log.Add(start + text + " = " + reg1.ReadString("Script"));
  } else {
    WriteClsidEntry(context, extension, kMenuExtension);
    reg1.CloseKey();
  }
}

void WriteMachineExtensions(ScanContext& context) {
  auto& reg1 = context.reg1;
  context.log.Add("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions]");
  OpenFromRoot(reg1, kLm, kExtensions);
  FillSubKeyNames(reg1, context.key_list);
  reg1.CloseKey();
  CloseOnRoot(*context.reg2, kLm);
  for (const auto& extension : context.key_list) WriteExtension(context, extension);
  context.key_list2.clear();
  EndSection(context);
}

}  // namespace

void ScanIESettings(ScanContext& context) {
  for (const auto& group : SettingsGroups()) WriteSettingsGroup(context, group);
  WriteClsidList(context, kUrlSearchHooks);
}

void ScanBHOs(ScanContext& context) { WriteClsidList(context, kBrowserHelperObjects); }

void ScanIEBars(ScanContext& context) {
  for (const auto& list : kBarLists) WriteClsidList(context, list);
  WriteUserToolbars(context);
  WriteCommandMapping(context);
  WriteMachineExtensions(context);
}

}  // namespace tarnscan

#include "registry/shell_sections.h"

#include <array>
#include <string>

#include "registry/registry_conventions.h"

namespace tarnscan {
namespace {

using platform::RootKey;

constexpr RootKey kLm = RootKey::kLocalMachine;
constexpr RootKey kCu = RootKey::kCurrentUser;


// ---- Approved shell extensions ----

constexpr std::string_view kApproved =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Each value names a class; its data is the extension's description, read
// from the Approved key of the hive being walked.
const ClsidEntryChoices kApprovedEntry{
    .prefix = kTwoBackslashes,
    .clsid_text = ClsidText::kListedName,
    .description = DescriptionText::kListedValueData,
    .open_machine_class_key = false,
    .per_user_line = PerUserLine::kWhenInprocServerExists,
    .per_user_marker = kHkcuMarker,
    .non_microsoft_filter = true,
    .show_all_box = "chkAllShellExtensions",
};

// Leaves Reg1 on the Approved key, whose values give the descriptions.
void ListApproved(ScanContext& context, RootKey hive, std::string_view header) {
  context.log.Add(std::string(header));
  OpenFromRoot(context.reg1, hive, kApproved);
  FillValueNames(context.reg1, context.key_list);
  CloseOnRoot(*context.reg2, kLm);
}

void WriteApprovedEntries(ScanContext& context) {
  for (const auto& name : context.key_list) WriteClsidEntry(context, name, kApprovedEntry);
}

// ---- Context-menu and column handlers ----

// A handler key is named by its CLSID, or by a word with the CLSID as its
// default value, which is also shown as the description.
ClsidEntryChoices HandlerEntry(std::string_view show_all_box) {
  return {
      .prefix = kOneBackslash,
      .clsid_text = ClsidText::kNameElseKeyDefault,
      .description = DescriptionText::kKeyDefault,
      .open_machine_class_key = false,
      .per_user_line = PerUserLine::kWhenInprocServerExists,
      .per_user_marker = {},
      .non_microsoft_filter = true,
      .show_all_box = show_all_box,
  };
}

struct HandlerList {
  std::string_view key;
  std::string_view header;
};

// clang-format off
constexpr std::array<HandlerList, 5> kContextMenuLists{{
    {"Software\\Classes\\*\\shellex\\ContextMenuHandlers",
     "[HKEY_LOCAL_MACHINE\\Software\\Classes\\*\\shellex\\ContextMenuHandlers]"},
    {"Software\\Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers",
     "[HKEY_LOCAL_MACHINE\\Software\\Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers]"},
    {"Software\\Classes\\Directory\\shellex\\ContextMenuHandlers",
     "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Directory\\shellex\\ContextMenuHandlers]"},
    {"Software\\Classes\\Directory\\BackGround\\shellex\\ContextMenuHandlers",
     "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Directory\\BackGround\\shellex\\ContextMenuHandlers]"},
    {"Software\\Classes\\Folder\\shellex\\ContextMenuHandlers",
     "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Folder\\shellex\\ContextMenuHandlers]"},
}};
// clang-format on

constexpr HandlerList kColumnHandlers{
    "SOFTWARE\\Classes\\Folder\\shellex\\ColumnHandlers",
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Folder\\shellex\\ColumnHandlers]"};

void WriteHandlerList(ScanContext& context, const HandlerList& list,
                      const ClsidEntryChoices& choices) {
  context.log.Add(std::string(list.header));
  OpenFromRoot(context.reg1, kLm, list.key);
  FillSubKeyNames(context.reg1, context.key_list);
  CloseOnRoot(*context.reg2, kLm);
  for (const auto& handler : context.key_list) {
    OpenFromRoot(context.reg1, kLm, std::string(list.key) + "\\" + handler);
    WriteClsidEntry(context, handler, choices);
  }
  EndSection(context);
}

// ---- Hook lists ----

constexpr std::string_view kSsodl =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";

// Here the value's data is the CLSID, and shown as the description too.
const ClsidEntryChoices kDelayLoadEntry{
    .prefix = kTwoBackslashes,
    .clsid_text = ClsidText::kListedValueData,
    .description = DescriptionText::kListedValueData,
    .open_machine_class_key = false,
    .per_user_line = PerUserLine::kWhenInprocServerExists,
    .per_user_marker = kHkcuMarker,
};

}  // namespace

void ScanApprovedShellExtensions(ScanContext& context) {
  ListApproved(context, kLm,
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell "
               "Extensions\\Approved]");
  if (!context.key_list.empty()) {
    WriteApprovedEntries(context);
    context.key_list.clear();
    context.log.Add("");
  }
  ListApproved(context, kCu,
               "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell "
               "Extensions\\Approved]");
  // A per-user list is closed by an empty line of its own before the one
  // that ends the section.
  if (!context.key_list.empty()) {
    WriteApprovedEntries(context);
    EndSection(context);
  }
  EndSection(context);
}

void ScanContextMenuHandlers(ScanContext& context) {
  const ClsidEntryChoices choices = HandlerEntry("chkAllContextMenuHandlerKeys");
  for (const auto& list : kContextMenuLists) WriteHandlerList(context, list, choices);
}

void ScanColumnHandlers(ScanContext& context) {
  WriteHandlerList(context, kColumnHandlers, HandlerEntry("chkAllColumnHandlers"));
}

// A value named by a CLSID is a class, shown with its class name and file
// and not its own data; any other value is shown with its data.
void ScanHookList(ScanContext& context, std::string_view key, std::string_view header) {
  auto& reg1 = context.reg1;
  context.log.Add(std::string(header));
  OpenFromRoot(reg1, kLm, key);
  FillValueNames(reg1, context.key_list);
  CloseOnRoot(*context.reg2, kLm);
  const ClsidEntryChoices model{.prefix = kTwoBackslashes};
  for (const auto& name : context.key_list) {
    if (!name.empty() && name.front() == '{') {
      WriteClsidEntry(context, name, model);
    } else {
      // A class entry before this value took Reg1 to the class trees.
      OpenFromRoot(reg1, kLm, key);
      context.log.Add(std::string(kTwoBackslashes) + name + " - " + reg1.ReadString(name));
    }
    context.reg2->CloseKey();
  }
  EndSection(context);
}

void ScanUserAgentPostPlatform(ScanContext& context) {
  ScanHookList(context,
               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User "
               "Agent\\Post Platform",
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet "
               "Settings\\User Agent\\Post Platform]");
}

void ScanShellExecuteHooks(ScanContext& context) {
  ScanHookList(context, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
               "ShellExecuteHooks]");
}

void ScanSharedTaskScheduler(ScanContext& context) {
  ScanHookList(context,
               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler",
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
               "SharedTaskScheduler]");
}

void ScanSSODL(ScanContext& context) {
  CloseOnRoot(context.reg1, kLm);
  context.log.Add(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
      "ShellServiceObjectDelayLoad]");
  context.reg1.OpenKey(kSsodl);
  FillValueNames(context.reg1, context.key_list);
  CloseOnRoot(*context.reg2, kLm);
  for (const auto& name : context.key_list) WriteClsidEntry(context, name, kDelayLoadEntry);
  EndSection(context);
}

}  // namespace tarnscan

#include "registry/system_hook_sections.h"

#include "platform/text.h"
#include "registry/reg_data_lookup.h"
#include "registry/registry_conventions.h"

namespace tarnscan {
namespace {

using platform::RootKey;

constexpr const char* kWindowsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kImageFileOptionsKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kWinlogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kNotifyKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";

void WriteAppInitEntry(ScanContext& context, const std::string& item) {
  LookUpRegData(context, item);
  context.log.Add("  " + item + " = " + context.reg_company);
}

struct WinlogonProgram {
  const char* label;
  const char* value;
};

constexpr WinlogonProgram kWinlogonPrograms[] = {
    {"  \\\\UserInit = ", "Userinit"},
    {"  \\\\Shell = ", "Shell"},
    {"  \\\\System = ", "System"},
};

void WriteNotifyLibraries(ScanContext& context) {
  auto& reg = context.reg1;
  context.log.Add(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify]");
  OpenFromRoot(reg, RootKey::kLocalMachine, kNotifyKey);
  FillSubKeyNames(reg, context.key_list);
  for (const auto& name : context.key_list) {
    OpenFromRoot(reg, RootKey::kLocalMachine, std::string(kNotifyKey) + "\\" + name);
    const std::string dll = reg.ReadString("DllName");
    LookUpRegData(context, dll);
    context.log.Add(std::string(kOneBackslash) + name + " - " + dll + " =" + context.reg_company);
  }
  reg.CloseKey();
  context.key_list.clear();
  context.log.Add("");
}

}  // namespace

std::vector<std::string> SplitAppInitDlls(std::string_view value) {
  std::vector<std::string> items;
  std::string item;
  size_t i = 0;
  while (i < value.size()) {
    item += value[i++];
    if (i < value.size() && value[i] == ',') {
      items.push_back(std::move(item));
      item.clear();
      while (i < value.size() && value[i] == ',') ++i;
    }
  }
  items.push_back(std::move(item));
  return items;
}

void ScanAppInitDLLs(ScanContext& context) {
  auto& reg = context.reg1;
  context.log.Add(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
      "NT\\CurrentVersion\\Windows\\\\AppInit_DLLs]");
  if (OpenFromRoot(reg, RootKey::kLocalMachine, kWindowsKey)) {
    const std::string dlls = reg.ReadString("AppInit_DLLs");
    if (!dlls.empty()) {
      for (const auto& item : SplitAppInitDlls(dlls)) WriteAppInitEntry(context, item);
    }
  }
  reg.CloseKey();
  context.log.Add("");
}

void ScanImageFileExecutionOptions(ScanContext& context) {
  auto& reg = context.reg1;
  context.log.Add(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
      "Options]");
  OpenFromRoot(reg, RootKey::kLocalMachine, kImageFileOptionsKey);
  FillSubKeyNames(reg, context.key_list);
  for (const auto& program : context.key_list) {
    OpenFromRoot(reg, RootKey::kLocalMachine, std::string(kImageFileOptionsKey) + "\\" + program);
    FillValueNames(reg, context.key_list2);
    // Windows finds the value whatever its letter case, so any spelling of
    // "Debugger" redirects the program.
    for (const auto& name : context.key_list2) {
      if (platform::UpperCase(name) != "DEBUGGER") continue;
      context.log.Add(std::string(kOneBackslash) + program + " - " + name + " = " +
                      reg.ReadString(name));
    }
    context.key_list2.clear();
  }
  reg.CloseKey();
  context.key_list.clear();
  context.log.Add("");
}

void ScanWinlogon(ScanContext& context) {
  auto& reg = context.reg1;
  context.log.Add(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]");
  if (!OpenFromRoot(reg, RootKey::kLocalMachine, kWinlogonKey)) {
    context.log.Add("");
    return;
  }
  for (const auto& program : kWinlogonPrograms) {
    context.log.Add(program.label + reg.ReadString(program.value));
  }
  context.key_list.clear();
  context.log.Add("");
  WriteNotifyLibraries(context);
}

}  // namespace tarnscan

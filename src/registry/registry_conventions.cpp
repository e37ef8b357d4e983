#include "registry/registry_conventions.h"

#include <memory>

#include "fileinfo/version_info.h"
#include "main/extract_file.h"

namespace tarnscan {
namespace {

using platform::RegistryReader;
using platform::RootKey;

constexpr std::string_view kDefaultValue;
constexpr std::string_view kMicrosoft = "Microsoft Corporation";

std::string ClsidOf(const ScanContext& context, std::string_view listed_name,
                    const ClsidEntryChoices& choices) {
  const RegistryReader& reg1 = context.reg1;
  switch (choices.clsid_text) {
    case ClsidText::kListedName:
      break;
    case ClsidText::kNameElseKeyDefault:
      if (listed_name.empty() || listed_name.front() != '{') return reg1.ReadString(kDefaultValue);
      break;
    case ClsidText::kListedValueData:
      return reg1.ReadString(listed_name);
    case ClsidText::kNamedValue:
      return reg1.ReadString(choices.clsid_value_name);
  }
  return std::string(listed_name);
}

std::string DescriptionOf(const ScanContext& context, std::string_view listed_name,
                          const ClsidEntryChoices& choices) {
  const RegistryReader& reg1 = context.reg1;
  switch (choices.description) {
    case DescriptionText::kClassName:
    case DescriptionText::kKeyDefault:
      return reg1.ReadString(kDefaultValue);
    case DescriptionText::kListedValueData:
      return reg1.ReadString(listed_name);
    case DescriptionText::kNamedValue:
      return std::string(choices.description_lead) +
             reg1.ReadString(choices.description_value_name);
  }
  return {};
}

bool Hidden(const ScanContext& context, const ClsidEntryChoices& choices) {
  return choices.non_microsoft_filter && NonMicrosoftFilterHides(context, choices.show_all_box);
}

// One line for the InprocServer32 key that Reg2 holds open (or not). The
// file is looked up first, so a hidden entry reads no description.
bool WriteLineFromReg2(ScanContext& context, std::string_view shown_name,
                       std::string_view listed_name, const ClsidEntryChoices& choices,
                       std::string_view marker) {
  const std::string file_text = LookUpOpenInprocServer(context, *context.reg2);
  if (Hidden(context, choices)) {
    context.reg2->CloseKey();
    return false;
  }
  const std::string description = DescriptionOf(context, listed_name, choices);
  context.log.Add(
      EntryLine(choices.prefix, shown_name, description, file_text, context.reg_company, marker));
  return true;
}

void ReturnReg2ToMachine(ScanContext& context) {
  CloseOnRoot(*context.reg2, RootKey::kLocalMachine);
}

// Model form: the per-user line depends on the class key, which Reg1 opens
// so that the description is the per-user class name.
void WritePerUserByClassKey(ScanContext& context, std::string_view shown_name,
                            std::string_view listed_name, const std::string& clsid,
                            const ClsidEntryChoices& choices) {
  if (OpenFromRoot(context.reg1, RootKey::kCurrentUser, ClassKeyPath(clsid))) {
    OpenFromRoot(*context.reg2, RootKey::kCurrentUser, InprocServerPath(clsid));
    WriteLineFromReg2(context, shown_name, listed_name, choices, choices.per_user_marker);
    ReturnReg2ToMachine(context);
  }
}

// The per-user line depends on the InprocServer32 key; Reg1 keeps the
// walked key, from which the description comes.
void WritePerUserByInprocServer(ScanContext& context, std::string_view shown_name,
                                std::string_view listed_name, const std::string& clsid,
                                const ClsidEntryChoices& choices) {
  if (OpenFromRoot(*context.reg2, RootKey::kCurrentUser, InprocServerPath(clsid))) {
    WriteLineFromReg2(context, shown_name, listed_name, choices, choices.per_user_marker);
  }
  ReturnReg2ToMachine(context);
}

}  // namespace

std::string ClassKeyPath(std::string_view clsid) {
  return std::string(kClassesClsid) + std::string(clsid);
}

std::string InprocServerPath(std::string_view clsid) {
  return ClassKeyPath(clsid) + "\\InprocServer32";
}

void CloseOnRoot(RegistryReader& reader, RootKey root) {
  reader.CloseKey();
  reader.SetRoot(root);
}

bool OpenFromRoot(RegistryReader& reader, RootKey root, std::string_view path) {
  CloseOnRoot(reader, root);
  return reader.OpenKey(path);
}

void FillSubKeyNames(const RegistryReader& reader, std::vector<std::string>& list) {
  list = reader.SubKeyNames();
}

void FillValueNames(const RegistryReader& reader, std::vector<std::string>& list) {
  list = reader.ValueNames();
}

std::string CompanySuffix(ScanContext& context, std::string_view path) {
  if (context.file_facts == nullptr) {
    context.file_facts =
        std::make_shared<FileFactsCache>(*context.system.facts, *context.system.files);
  }
  return FileWithCompany(*context.file_facts, path);
}

std::string LookUpOpenInprocServer(ScanContext& context, const RegistryReader& reader) {
  std::string file_text = reader.ReadString(kDefaultValue);
  context.reg_file = ExtractFileFromRegData(context, file_text);
  context.reg_company = CompanySuffix(context, context.reg_file);
  return file_text;
}

InprocServerLookup LookUpInprocServer(ScanContext& context, RootKey hive, std::string_view clsid) {
  InprocServerLookup lookup;
  lookup.opened = OpenFromRoot(*context.reg2, hive, InprocServerPath(clsid));
  lookup.file_text = LookUpOpenInprocServer(context, *context.reg2);
  return lookup;
}

bool IsMicrosoftSuffix(std::string_view company_suffix) {
  return company_suffix.find(kMicrosoft) != std::string_view::npos;
}

bool NonMicrosoftFilterHides(const ScanContext& context, std::string_view show_all_box) {
  return IsMicrosoftSuffix(context.reg_company) && !context.options.Ticked(show_all_box);
}

std::string EntryLine(std::string_view prefix, std::string_view name, std::string_view description,
                      std::string_view file_text, std::string_view company_suffix,
                      std::string_view marker) {
  std::string line;
  line.reserve(prefix.size() + name.size() + description.size() + file_text.size() +
               company_suffix.size() + marker.size() + 6);
  line.append(prefix).append(name).append(" - ").append(description).append(" = ");
  line.append(file_text).append(company_suffix).append(marker);
  return line;
}

void WriteClsidEntry(ScanContext& context, std::string_view listed_name,
                     const ClsidEntryChoices& choices) {
  WriteClsidEntryAs(context, listed_name, listed_name, choices);
}

void WriteClsidEntryAs(ScanContext& context, std::string_view shown_name,
                       std::string_view listed_name, const ClsidEntryChoices& choices) {
  const std::string clsid = ClsidOf(context, listed_name, choices);
  if (choices.open_machine_class_key) {
    OpenFromRoot(context.reg1, RootKey::kLocalMachine, ClassKeyPath(clsid));
  }
  OpenFromRoot(*context.reg2, RootKey::kLocalMachine, InprocServerPath(clsid));
  if (WriteLineFromReg2(context, shown_name, listed_name, choices, {})) {
    if (choices.per_user_line == PerUserLine::kWhenClassKeyExists) {
      WritePerUserByClassKey(context, shown_name, listed_name, clsid, choices);
    } else {
      WritePerUserByInprocServer(context, shown_name, listed_name, clsid, choices);
    }
  }
  ReturnReg2ToMachine(context);
  if (choices.open_machine_class_key) {
    CloseOnRoot(context.reg1, RootKey::kLocalMachine);
  }
}

void EndSection(ScanContext& context) {
  context.reg1.CloseKey();
  context.reg2->CloseKey();
  context.key_list.clear();
  context.key_list2.clear();
  context.log.Add("");
}

}  // namespace tarnscan

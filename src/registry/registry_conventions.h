// What every registry section shares: filling the name lists, finding the
// file behind a COM class in the two hives' own class trees, the entry
// lines such a class gives, and the test that hides Microsoft's files.
//
// The readers (context.reg1, *context.reg2), the name lists
// (context.key_list, key_list2, key_list3) and the latest lookup's file and
// company (context.reg_file, context.reg_company) live in the scan context.
// A section never relies on what an earlier one left in them: it closes a
// reader and sets its root before every open from the root.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "main/scan_context.h"
#include "platform/registry.h"
#include "platform/registry_reader.h"

namespace tarnscan {

// Line prefixes: two spaces and one backslash, or two spaces and two.
inline constexpr std::string_view kOneBackslash = "  \\";
inline constexpr std::string_view kTwoBackslashes = "  \\\\";
// Ends the line of a class registered for the current user.
inline constexpr std::string_view kHkcuMarker = "(HKCU CLSID)";
// Classes are looked up here in each hive, never in HKEY_CLASSES_ROOT,
// whose merged view would hide which hive registered them.
inline constexpr std::string_view kClassesClsid = "SOFTWARE\\Classes\\CLSID\\";

// "SOFTWARE\Classes\CLSID\" + clsid, and the same + "\InprocServer32".
std::string ClassKeyPath(std::string_view clsid);
std::string InprocServerPath(std::string_view clsid);

// Closes the reader and sets its root ("close, root X").
void CloseOnRoot(platform::RegistryReader& reader, platform::RootKey root);

// How every section ends: both readers closed, the name lists empty, and
// the closing empty line.
void EndSection(ScanContext& context);

// Closes the reader, sets its root and opens `path` from the root. False
// (and no key open) when the key is missing or access is refused.
bool OpenFromRoot(platform::RegistryReader& reader, platform::RootKey root, std::string_view path);

// The list fills: the list is emptied first; a reader without an open key
// gives an empty list.
void FillSubKeyNames(const platform::RegistryReader& reader, std::vector<std::string>& list);
void FillValueNames(const platform::RegistryReader& reader, std::vector<std::string>& list);

// The company suffix of `path` (" (" + company + ")", or the unreadable
// text), from the scan's file facts cache.
std::string CompanySuffix(ScanContext& context, std::string_view path);

// Finds the file of the InprocServer32 key open in `reader` (or none):
// returns its raw default value, and stores the cleaned path in
// context.reg_file and that path's company suffix in context.reg_company.
std::string LookUpOpenInprocServer(ScanContext& context, const platform::RegistryReader& reader);

struct InprocServerLookup {
  bool opened = false;    // the InprocServer32 key exists in that hive
  std::string file_text;  // its raw default value, empty when missing
};

// Reg2: close, root `hive`, open InprocServerPath(clsid) (a failure is
// ignored), then LookUpOpenInprocServer. Reg2 stays on the key.
InprocServerLookup LookUpInprocServer(ScanContext& context, platform::RootKey hive,
                                      std::string_view clsid);

// True when "Microsoft Corporation" occurs in the suffix, letter case as
// written: a company spelt in other case is not Microsoft's to this test.
bool IsMicrosoftSuffix(std::string_view company_suffix);

// The Non-Microsoft filter after a lookup: hides the line when the
// latest company is Microsoft's and the section's "Show All" box is
// unticked.
bool NonMicrosoftFilterHides(const ScanContext& context, std::string_view show_all_box);

// prefix + name + " - " + description + " = " + file + suffix + marker.
std::string EntryLine(std::string_view prefix, std::string_view name, std::string_view description,
                      std::string_view file_text, std::string_view company_suffix,
                      std::string_view marker = {});

// Where the CLSID text of an entry comes from.
enum class ClsidText {
  kListedName,          // the listed subkey or value name itself
  kNameElseKeyDefault,  // the name when it begins with "{", else the default
                        // value of the key open in Reg1 (handler keys)
  kListedValueData,     // the data of the listed value, read through Reg1
  kNamedValue,          // the text value `clsid_value_name` of Reg1's key
};

// Where the third field of the line comes from.
enum class DescriptionText {
  kClassName,        // the default value of the class key (model form)
  kListedValueData,  // the data of the listed value, read through Reg1
  kKeyDefault,       // the default value of the key open in Reg1
  kNamedValue,       // `description_lead` + the text value
                     // `description_value_name` of Reg1's key
};

// When the second, per-user line is written.
enum class PerUserLine {
  kWhenClassKeyExists,      // HKCU ...\CLSID\{C} opens (model form)
  kWhenInprocServerExists,  // HKCU ...\CLSID\{C}\InprocServer32 opens
};

// The choices by which a section's CLSID entries depart from the model
// form. The defaults are the model form, except `prefix`, which every
// section names. The model form opens the class key in Reg1, so it may
// only be used where Reg1 is free; the other forms read their texts from
// the key that Reg1 holds open and leave it open.
struct ClsidEntryChoices {
  std::string_view prefix = {};
  ClsidText clsid_text = ClsidText::kListedName;
  std::string_view clsid_value_name = {};  // for ClsidText::kNamedValue
  DescriptionText description = DescriptionText::kClassName;
  std::string_view description_value_name = {};  // for DescriptionText::kNamedValue
  std::string_view description_lead = {};        // for DescriptionText::kNamedValue
  bool open_machine_class_key = true;
  PerUserLine per_user_line = PerUserLine::kWhenClassKeyExists;
  std::string_view per_user_marker = kHkcuMarker;  // empty: no marker
  bool non_microsoft_filter = false;
  std::string_view show_all_box = {};  // the box that turns the filter off
};

// The lines of one CLSID entry: the machine-wide line, always (unless the
// filter hides it, which also skips the per-user one), and the per-user
// line when the class is registered for the current user. `listed_name` is
// the name from the walked key; the line starts with it.
void WriteClsidEntry(ScanContext& context, std::string_view listed_name,
                     const ClsidEntryChoices& choices);
// As above, with a line that starts with `shown_name` instead.
void WriteClsidEntryAs(ScanContext& context, std::string_view shown_name,
                       std::string_view listed_name, const ClsidEntryChoices& choices);

}  // namespace tarnscan

// The scan options: the check boxes of the options panel and what its
// buttons do to them. They start from their start states at every program
// start and are never saved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnscan {

enum class OptionGroup { kFolders, kRegistry, kAddOns };

struct OptionBox {
  std::string_view name;     // control name, "chkRunKeys"
  std::string_view caption;  // empty for the "Show All" boxes
  OptionGroup group;
  bool start;       // state at start and after "Default"
  bool select_all;  // after the group's "Select All"
  std::string_view show_all_of;  // for a "Show All" box: the box of its row
};

// Every box of the panel, top to bottom, folders first.
const std::vector<OptionBox>& OptionBoxes();

struct AddOnItem {
  std::string name;  // file name with extension, "spyware.def"
  bool checked = false;
};

class ScanOptions {
 public:
  ScanOptions();

  bool Ticked(std::string_view box) const;
  // Throws std::invalid_argument for a name that is no box.
  void Set(std::string_view box, bool ticked);
  // Finds a box by its name with or without the "chk" prefix, any case.
  const OptionBox* FindBox(std::string_view name) const;

  // The buttons of the panel.
  void Default();
  void FolderSelectAll();
  void FolderRemoveAll();
  void RegistrySelectAll();
  void RegistryRemoveAll();

  // The AddOn check list: kept sorted without regard to case; duplicates
  // allowed; a new item is unchecked.
  void AddAddOn(std::string name);
  std::vector<AddOnItem>& AddOns() { return addons_; }
  const std::vector<AddOnItem>& AddOns() const { return addons_; }

 private:
  void SetGroup(OptionGroup group, bool (*state)(const OptionBox&));
  std::vector<bool> ticked_;
  std::vector<AddOnItem> addons_;
};

}  // namespace tarnscan

// The options panel: the folder and registry groups with a check box for
// every box of the options table, their "Select All" / "Remove All"
// buttons, "Apply", "Default", "Run AddOn's" and the AddOn check list.
// The check boxes hold the choices; ScanOptions is read from them before
// a scan and written back to them after a button changes it.
#pragma once

#include <vector>

#include "main/options.h"
#include "platform/win32/handles.h"

namespace tarnscan::gui {

// Command identifiers of the panel's buttons, sent to the main window.
enum PanelCommand : int {
  kCmdApply = 200,
  kCmdDefault,
  kCmdFolderSelectAll,
  kCmdFolderRemoveAll,
  kCmdRegistrySelectAll,
  kCmdRegistryRemoveAll,
};

class OptionsPanel {
 public:
  // Creates the hidden panel as a child of `parent`; commands go to the
  // parent as WM_COMMAND.
  bool Create(HWND parent, HINSTANCE instance, HFONT font);
  HWND Handle() const { return panel_; }

  void ReadInto(ScanOptions& options) const;
  void ShowFrom(const ScanOptions& options);
  // Fills the AddOn list from the options (kept sorted there).
  void ShowAddOns(const ScanOptions& options);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND AddControl(const char* window_class, const char* text, DWORD style, int x, int y, int width,
                  int height, int id);
  void CreateFolderGroup();
  void CreateRegistryGroup();
  void CreateRightColumn();

  HWND panel_ = nullptr;
  HINSTANCE instance_ = nullptr;
  HFONT font_ = nullptr;
  HWND show_all_label_ = nullptr;
  HWND addon_list_ = nullptr;
  std::vector<HWND> boxes_;  // one per entry of OptionBoxes(), same order
};

}  // namespace tarnscan::gui

#include "app/gui/options_panel.h"

#include <string>

namespace tarnscan::gui {
namespace {

constexpr char kPanelClass[] = "TarnscanOptionsPanel";
constexpr int kFirstBoxId = 1000;
constexpr int kAddOnListId = 300;
constexpr COLORREF kBlue = RGB(0, 0, 255);

// The three columns, in panel pixels.
constexpr int kMargin = 8;
constexpr int kFolderLeft = kMargin;
constexpr int kFolderWidth = 288;
constexpr int kFolderRow = 22;
constexpr int kRegistryLeft = kFolderLeft + kFolderWidth + kMargin;
constexpr int kRegistryWidth = 322;
constexpr int kRegistryRow = 20;
constexpr int kShowAllColumn = 276;  // from the registry group's left edge
constexpr int kRightLeft = kRegistryLeft + kRegistryWidth + kMargin;
constexpr int kRightWidth = 150;
constexpr int kGroupTop = kMargin;
constexpr int kFirstRow = 24;  // below a group's caption
constexpr int kButtonHeight = 25;
constexpr int kButtonWidth = 90;

size_t CountInGroup(OptionGroup group, bool rows_only) {
  size_t count = 0;
  for (const auto& box : OptionBoxes()) {
    if (box.group == group && (!rows_only || box.show_all_of.empty())) ++count;
  }
  return count;
}

int RegistryGroupHeight() {
  return kFirstRow + 16 +
         static_cast<int>(CountInGroup(OptionGroup::kRegistry, true)) * kRegistryRow +
         kButtonHeight + 16;
}

}  // namespace

bool OptionsPanel::Create(HWND parent, HINSTANCE instance, HFONT font) {
  instance_ = instance;
  font_ = font;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = Proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kPanelClass;
  RegisterClassA(&window_class);  // fails harmlessly when already registered

  // No WS_CLIPCHILDREN: group boxes paint no inside, so the panel's own
  // background must be painted under them.
  panel_ = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD, 0, 0, 0, 0, parent,
                           nullptr, instance, this);
  if (panel_ == nullptr) return false;
  boxes_.assign(OptionBoxes().size(), nullptr);
  CreateFolderGroup();
  CreateRegistryGroup();
  CreateRightColumn();
  ShowFrom(ScanOptions());
  return true;
}

HWND OptionsPanel::AddControl(const char* window_class, const char* text, DWORD style, int x, int y,
                              int width, int height, int id) {
  HWND control = CreateWindowExA(0, window_class, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                 height, panel_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance_, nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return control;
}

void OptionsPanel::CreateFolderGroup() {
  const int rows = static_cast<int>(CountInGroup(OptionGroup::kFolders, true));
  const int height = kFirstRow + rows * kFolderRow + kButtonHeight + 16;
  AddControl("BUTTON", "Folder Options", BS_GROUPBOX, kFolderLeft, kGroupTop, kFolderWidth, height,
             -1);
  const auto& boxes = OptionBoxes();
  int row = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].group != OptionGroup::kFolders) continue;
    const std::string caption(boxes[i].caption);
    boxes_[i] = AddControl("BUTTON", caption.c_str(), BS_AUTOCHECKBOX | WS_TABSTOP,
                           kFolderLeft + 12, kGroupTop + kFirstRow + row * kFolderRow,
                           kFolderWidth - 24, kFolderRow - 2, kFirstBoxId + static_cast<int>(i));
    ++row;
  }
  const int buttons_top = kGroupTop + height - kButtonHeight - 10;
  AddControl("BUTTON", "Select All", BS_PUSHBUTTON | WS_TABSTOP, kFolderLeft + 12, buttons_top,
             kButtonWidth, kButtonHeight, kCmdFolderSelectAll);
  AddControl("BUTTON", "Remove All", BS_PUSHBUTTON | WS_TABSTOP,
             kFolderLeft + kFolderWidth - 12 - kButtonWidth, buttons_top, kButtonWidth,
             kButtonHeight, kCmdFolderRemoveAll);
}

void OptionsPanel::CreateRegistryGroup() {
  const int height = RegistryGroupHeight();
  AddControl("BUTTON", "Registry Key Options", BS_GROUPBOX, kRegistryLeft, kGroupTop,
             kRegistryWidth, height, -1);
  show_all_label_ = AddControl("STATIC", "Show All", SS_LEFT, kRegistryLeft + kShowAllColumn - 14,
                               kGroupTop + kFirstRow - 4, 50, 14, -1);
  const auto& boxes = OptionBoxes();
  const int first_row_top = kGroupTop + kFirstRow + 14;
  int row = -1;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].group != OptionGroup::kRegistry) continue;
    const int id = kFirstBoxId + static_cast<int>(i);
    if (boxes[i].show_all_of.empty()) {
      ++row;
      const std::string caption(boxes[i].caption);
      boxes_[i] =
          AddControl("BUTTON", caption.c_str(), BS_AUTOCHECKBOX | WS_TABSTOP, kRegistryLeft + 12,
                     first_row_top + row * kRegistryRow, kShowAllColumn - 20, kRegistryRow - 2, id);
    } else {
      // A "Show All" box stands on the row of its section box, which the
      // table lists just before it.
      boxes_[i] =
          AddControl("BUTTON", "", BS_AUTOCHECKBOX | WS_TABSTOP, kRegistryLeft + kShowAllColumn,
                     first_row_top + row * kRegistryRow, 16, kRegistryRow - 2, id);
    }
  }
  const int buttons_top = kGroupTop + height - kButtonHeight - 10;
  AddControl("BUTTON", "Select All", BS_PUSHBUTTON | WS_TABSTOP, kRegistryLeft + 12, buttons_top,
             kButtonWidth, kButtonHeight, kCmdRegistrySelectAll);
  AddControl("BUTTON", "Remove All", BS_PUSHBUTTON | WS_TABSTOP,
             kRegistryLeft + kRegistryWidth - 12 - kButtonWidth, buttons_top, kButtonWidth,
             kButtonHeight, kCmdRegistryRemoveAll);
}

void OptionsPanel::CreateRightColumn() {
  const int half = (kRightWidth - kMargin) / 2;
  AddControl("BUTTON", "Apply", BS_DEFPUSHBUTTON | WS_TABSTOP, kRightLeft, kGroupTop + 8, half,
             kButtonHeight, kCmdApply);
  AddControl("BUTTON", "Default", BS_PUSHBUTTON | WS_TABSTOP, kRightLeft + half + kMargin,
             kGroupTop + 8, half, kButtonHeight, kCmdDefault);
  const auto& boxes = OptionBoxes();
  int top = kGroupTop + 8 + kButtonHeight + 12;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].group != OptionGroup::kAddOns) continue;
    const std::string caption(boxes[i].caption);
    boxes_[i] = AddControl("BUTTON", caption.c_str(), BS_AUTOCHECKBOX | WS_TABSTOP, kRightLeft, top,
                           kRightWidth, 20, kFirstBoxId + static_cast<int>(i));
    top += 24;
  }
  const int bottom = kGroupTop + RegistryGroupHeight();
  addon_list_ = AddControl(WC_LISTVIEWA, "",
                           WS_BORDER | WS_TABSTOP | WS_VSCROLL | LVS_REPORT | LVS_NOCOLUMNHEADER |
                               LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                           kRightLeft, top, kRightWidth, bottom - top, kAddOnListId);
  ListView_SetExtendedListViewStyle(addon_list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  LVCOLUMNA column{};
  column.mask = LVCF_WIDTH;
  column.cx = kRightWidth - GetSystemMetrics(SM_CXVSCROLL) - 4;
  SendMessageA(addon_list_, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

void OptionsPanel::ReadInto(ScanOptions& options) const {
  const auto& boxes = OptionBoxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes_[i] == nullptr) continue;
    options.Set(boxes[i].name, SendMessageA(boxes_[i], BM_GETCHECK, 0, 0) == BST_CHECKED);
  }
  auto& addons = options.AddOns();
  const int count = static_cast<int>(SendMessageA(addon_list_, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count && static_cast<size_t>(i) < addons.size(); ++i) {
    addons[static_cast<size_t>(i)].checked = ListView_GetCheckState(addon_list_, i) != 0;
  }
}

void OptionsPanel::ShowFrom(const ScanOptions& options) {
  const auto& boxes = OptionBoxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes_[i] == nullptr) continue;
    SendMessageA(boxes_[i], BM_SETCHECK,
                 options.Ticked(boxes[i].name) ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void OptionsPanel::ShowAddOns(const ScanOptions& options) {
  SendMessageA(addon_list_, LVM_DELETEALLITEMS, 0, 0);
  int index = 0;
  for (const auto& addon : options.AddOns()) {
    std::string text = addon.name;
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = text.data();
    const int at = static_cast<int>(
        SendMessageA(addon_list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (at >= 0) ListView_SetCheckState(addon_list_, at, addon.checked ? TRUE : FALSE);
    ++index;
  }
}

LRESULT CALLBACK OptionsPanel::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<OptionsPanel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      // The buttons belong to the main window's logic.
      return SendMessageA(GetParent(window), WM_COMMAND, wparam, lparam);
    case WM_CTLCOLORSTATIC: {
      // Check boxes and labels on the panel's own face colour.
      auto dc = reinterpret_cast<HDC>(wparam);
      const bool label = self != nullptr && reinterpret_cast<HWND>(lparam) == self->show_all_label_;
      SetTextColor(dc, label ? kBlue : GetSysColor(COLOR_BTNTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace tarnscan::gui

// test-window-driver: drives Tarnscan.exe from outside, as a user would,
// for the Wine tests. Each call does one thing and exits 0 on success:
//   wait SECONDS                the window is there and idle (Start Scan enabled)
//   click CAPTION [N]           clicks the N-th (default 1st) button of that caption
//   boxes                       every check box: caption TAB ticked|unticked
//   addons                      the AddOn list: name TAB ticked|unticked
//   memo                        the memo's text
//   caption SECONDS TEXT        waits until the window caption is TEXT
//   find-window SECONDS TEXT    waits for a top-level window whose title holds
//                               TEXT (any case) and prints the title
//   close-window TEXT           closes the top-level windows whose title holds TEXT
//                               and waits until they are gone
//   close SECONDS               closes the program's window and waits until it is gone
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace {

using tarnscan::platform::UpperCase;

constexpr char kWindowClass[] = "TfrMain";
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::string WindowText(HWND window) {
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
  const LRESULT got =
      SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, static_cast<LRESULT>(text.size()))));
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  // A null parent would list every top-level window instead.
  if (parent == nullptr) return found;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

LONG ButtonKind(HWND window) {
  if (UpperCase(ClassOf(window)) != "BUTTON") return -1;
  return GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
}

bool WaitFor(double seconds, const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

HWND MainWindow() { return FindWindowA(kWindowClass, nullptr); }

HWND FindButton(HWND window, const std::string& caption, int nth) {
  if (window == nullptr) return nullptr;
  int seen = 0;
  for (HWND child : Descendants(window)) {
    const LONG kind = ButtonKind(child);
    if ((kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON) && WindowText(child) == caption &&
        ++seen == nth) {
      return child;
    }
  }
  return nullptr;
}

int Wait(double seconds) {
  const bool idle = WaitFor(seconds, [] {
    HWND window = MainWindow();
    if (window == nullptr || !IsWindowVisible(window)) return false;
    HWND scan = FindButton(window, "Start Scan", 1);
    return scan != nullptr && IsWindowEnabled(scan);
  });
  if (!idle) std::cerr << "no idle Tarnscan window\n";
  return idle ? 0 : kExitFailed;
}

// The click goes to the button's parent as the notification the button
// itself would send: a BM_CLICK plays mouse-down and mouse-up on the button,
// and the click is lost when the mouse capture moves in between.
int Click(const std::string& caption, int nth) {
  HWND button = nullptr;
  const bool ready = WaitFor(10, [&] {
    button = FindButton(MainWindow(), caption, nth);
    return button != nullptr && IsWindowVisible(button) && IsWindowEnabled(button);
  });
  if (!ready) {
    std::cerr << "no visible, enabled button \"" << caption << "\" #" << nth << '\n';
    return kExitFailed;
  }
  const int id = GetDlgCtrlID(button);
  SendMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return 0;
}

int Boxes() {
  for (HWND child : Descendants(MainWindow())) {
    const LONG kind = ButtonKind(child);
    if (kind != BS_AUTOCHECKBOX && kind != BS_CHECKBOX) continue;
    const bool ticked = SendMessageA(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::cout << WindowText(child) << '\t' << (ticked ? "ticked" : "unticked") << '\n';
  }
  return 0;
}

int Failed(const char* why) {
  std::cerr << why << " (error " << GetLastError() << ")\n";
  return kExitFailed;
}

// The list view lives in the other process: its item texts are fetched
// through a buffer allocated there.
int AddOns() {
  HWND list = nullptr;
  for (HWND child : Descendants(MainWindow())) {
    if (ClassOf(child) == WC_LISTVIEWA) list = child;
  }
  if (list == nullptr) return Failed("no AddOn list");
  DWORD process_id = 0;
  GetWindowThreadProcessId(list, &process_id);
  tarnscan::platform::win32::FileHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id));
  if (!process.Valid()) return Failed("OpenProcess failed");
  constexpr size_t kTextSize = 512;
  void* remote = VirtualAllocEx(process.Get(), nullptr, sizeof(LVITEMA) + kTextSize,
                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr) return Failed("VirtualAllocEx failed");
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = static_cast<char*>(remote) + sizeof(LVITEMA);
    item.cchTextMax = kTextSize;
    char text[kTextSize] = {};
    if (!WriteProcessMemory(process.Get(), remote, &item, sizeof item, nullptr)) {
      return Failed("WriteProcessMemory failed");
    }
    SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(remote));
    if (!ReadProcessMemory(process.Get(), item.pszText, text, kTextSize - 1, nullptr)) {
      return Failed("ReadProcessMemory failed");
    }
    const UINT state =
        static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
    const bool ticked = (state >> 12) == 2;
    std::cout << text << '\t' << (ticked ? "ticked" : "unticked") << '\n';
  }
  VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
  return 0;
}

int Memo() {
  for (HWND child : Descendants(MainWindow())) {
    if (UpperCase(ClassOf(child)) == "EDIT") {
      std::cout << WindowText(child);
      return 0;
    }
  }
  return kExitFailed;
}

int WaitCaption(double seconds, const std::string& caption) {
  const bool seen = WaitFor(seconds, [&] {
    HWND window = MainWindow();
    return window != nullptr && WindowText(window) == caption;
  });
  if (!seen) std::cerr << "caption is \"" << WindowText(MainWindow()) << "\"\n";
  return seen ? 0 : kExitFailed;
}

std::vector<HWND> WindowsTitled(const std::string& part) {
  std::vector<HWND> found;
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) &&
        UpperCase(WindowText(window)).find(UpperCase(part)) != std::string::npos) {
      found.push_back(window);
    }
  }
  return found;
}

int FindWindowTitled(double seconds, const std::string& part) {
  std::vector<HWND> found;
  const bool seen = WaitFor(seconds, [&] {
    found = WindowsTitled(part);
    return !found.empty();
  });
  if (!seen) return kExitFailed;
  std::cout << WindowText(found.front()) << '\n';
  return 0;
}

int CloseWindowsTitled(const std::string& part) {
  for (HWND window : WindowsTitled(part)) PostMessageA(window, WM_CLOSE, 0, 0);
  return WaitFor(10, [&] { return WindowsTitled(part).empty(); }) ? 0 : kExitFailed;
}

int Close(double seconds) {
  HWND window = MainWindow();
  if (window == nullptr) return kExitFailed;
  PostMessageA(window, WM_CLOSE, 0, 0);
  return WaitFor(seconds, [] { return MainWindow() == nullptr; }) ? 0 : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // The bytes as they are: no CR added before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  auto number = [&](size_t i) { return std::atof(args[i].c_str()); };
  if (command == "wait" && args.size() == 2) return Wait(number(1));
  if (command == "click" && (args.size() == 2 || args.size() == 3)) {
    return Click(args[1], args.size() == 3 ? std::atoi(args[2].c_str()) : 1);
  }
  if (command == "boxes" && args.size() == 1) return Boxes();
  if (command == "addons" && args.size() == 1) return AddOns();
  if (command == "memo" && args.size() == 1) return Memo();
  if (command == "caption" && args.size() == 3) return WaitCaption(number(1), args[2]);
  if (command == "find-window" && args.size() == 3) return FindWindowTitled(number(1), args[2]);
  if (command == "close-window" && args.size() == 2) return CloseWindowsTitled(args[1]);
  if (command == "close" && args.size() == 2) return Close(number(1));
  std::cerr << "usage: test-window-driver wait S | click CAPTION [N] | boxes | addons | memo |\n"
               "       caption S TEXT | find-window S TEXT | close-window TEXT | close S\n";
  return kExitUsage;
}

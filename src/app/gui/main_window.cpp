#include "app/gui/main_window.h"

#include "main/startup.h"
#include "platform/win32/file_system_win32.h"

namespace tarnscan::gui {
namespace {

constexpr char kWindowClass[] = "TfrMain";
constexpr char kTitle[] = "Tarnscan";
constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 600;
constexpr int kTopBarHeight = 41;
constexpr COLORREF kBlue = RGB(0, 0, 255);

constexpr UINT kMsgStartUp = WM_APP + 1;
constexpr UINT kMsgFeed = WM_APP + 2;

enum ControlId : int {
  kIdScan = 100,
  kIdConfigure,
  kIdMemo,
  kIdStatus,
};

// The memo's text before the first scan, line for line.
constexpr const char* kInitialMemo[] = {
    "WARNING: not all files found by this scanner are bad. Consult with a knowledgable person "
    "before taking any ",
    "action based on the output.",
    "",
    "If you see a message in the titlebar saying 'Not responding...' you can ignore it. Windows "
    "sometimes ",
    "displays this message due to the high volume of disk I/O. As long as the hard disk light is "
    "flashing, the ",
    "program is still working properly.",
    "",
};

HFONT MakeFont(const char* face, int points, DWORD pitch_and_family) {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch_and_family,
                     face);
}

void AppendToEdit(HWND edit, const std::string& text) {
  if (text.empty()) return;
  const LRESULT end = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string CurrentFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

}  // namespace

MainWindow::MainWindow() { system_ = platform::MakeLiveSystem(&shell_); }

MainWindow::~MainWindow() {
  if (worker_.joinable()) worker_.join();
  if (ui_font_ != nullptr) DeleteObject(ui_font_);
  if (memo_font_ != nullptr) DeleteObject(memo_font_);
  if (memo_brush_ != nullptr) DeleteObject(memo_brush_);
}

bool MainWindow::Create(HINSTANCE instance, int show) {
  instance_ = instance;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = Proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassA(&window_class) == 0) return false;

  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int left = work.left + (work.right - work.left - kWindowWidth) / 2;
  const int top = work.top + (work.bottom - work.top - kWindowHeight) / 2;
  window_ = CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, kTitle,
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, left, top, kWindowWidth,
                            kWindowHeight, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;
  ShowWindow(window_, show);
  UpdateWindow(window_);
  // Start-up runs once the window shows, before anything can be clicked.
  PostMessageA(window_, kMsgStartUp, 0, 0);
  return true;
}

LRESULT CALLBACK MainWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_SIZE:
      Layout(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize.x = 400;
      limits->ptMinTrackSize.y = 300;
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      RECT client;
      GetClientRect(window_, &client);
      RECT bar{client.left, client.top, client.right, kTopBarHeight};
      DrawEdge(dc, &bar, BDR_RAISEDINNER, BF_RECT);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      return ColorStatic(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_SETCURSOR:
      if (scanning_ && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam));
      return 0;
    case kMsgStartUp:
      StartUp();
      return 0;
    case kMsgFeed:
      TakeFeed();
      return 0;
    case WM_CLOSE:
      if (!ConfirmClose()) return 0;
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window_, message, wparam, lparam);
}

void MainWindow::CreateControls() {
  ui_font_ = MakeFont("MS Sans Serif", 8, DEFAULT_PITCH | FF_DONTCARE);
  // Where Courier New is missing, another fixed-pitch font keeps the
  // columns of the file lines in line.
  memo_font_ = MakeFont("Courier New", 8, FIXED_PITCH | FF_MODERN);
  memo_brush_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  auto add = [&](const char* window_class, const char* text, DWORD style, DWORD ex_style, int id) {
    HWND control = CreateWindowExA(
        ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font_), FALSE);
    return control;
  };
  scan_button_ = add("BUTTON", "Start Scan", BS_PUSHBUTTON | WS_TABSTOP, 0, kIdScan);
  configure_button_ =
      add("BUTTON", "Configure Scan Options", BS_PUSHBUTTON | WS_TABSTOP, 0, kIdConfigure);
  const std::string version(kVersionText);
  version_label_ = add("STATIC", version.c_str(), SS_LEFT, 0, -1);
  credits_label_ =
      add("STATIC", "Traces of adware, hijackers and spyware, in plain text", SS_RIGHT, 0, -1);
  memo_ = add("EDIT", "",
              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_VSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE, kIdMemo);
  SendMessageA(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(memo_font_), FALSE);
  // The report has no size limit of its own; the memo should not add one.
  SendMessageA(memo_, EM_SETLIMITTEXT, 0, 0);
  status_bar_ = add(STATUSCLASSNAMEA, "", SBARS_SIZEGRIP, 0, kIdStatus);
  panel_.Create(window_, instance_, ui_font_);
  ShowInitialMemo();
  feed_.Connect(window_, kMsgFeed);
}

void MainWindow::Layout(int width, int height) {
  SendMessageA(status_bar_, WM_SIZE, 0, 0);
  RECT status{};
  GetWindowRect(status_bar_, &status);
  const int status_height = status.bottom - status.top;
  MoveWindow(scan_button_, 8, 8, 90, 25, TRUE);
  MoveWindow(configure_button_, 106, 8, 150, 25, TRUE);
  MoveWindow(version_label_, 270, 14, 60, 16, TRUE);
  MoveWindow(credits_label_, width - 368, 14, 360, 16, TRUE);
  const int body_height = std::max(0, height - kTopBarHeight - status_height);
  MoveWindow(memo_, 0, kTopBarHeight, width, body_height, TRUE);
  MoveWindow(panel_.Handle(), 0, kTopBarHeight, width, body_height, TRUE);
}

void MainWindow::ShowInitialMemo() {
  std::string text;
  for (const char* line : kInitialMemo) text += MemoLine(line);
  SetWindowTextA(memo_, text.c_str());
}

LRESULT MainWindow::ColorStatic(HDC dc, HWND control) {
  if (control == memo_) {
    // Read-only, but shown as the white page the report is.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(memo_brush_);
  }
  if (control == version_label_ || control == credits_label_) {
    SetTextColor(dc, kBlue);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  return DefWindowProcA(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

void MainWindow::StartUp() {
  if (started_) return;
  started_ = true;
  shell_->SetOwner(window_);
  context_ = std::make_unique<ScanContext>(system_, options_);
  context_->program_folder = platform::ProgramFolder();
  context_->plugin_files = system_.files.get();
  context_->plugins_folder = context_->program_folder + "plugins";
  report_path_ = context_->program_folder + "Tarnscan.Txt";
  try {
    context_->patterns = SplitTextLines(platform::ReadWholeFile("patterns.txt"));
  } catch (const std::exception& error) {
    // The registry sections are worth having even without the list, so
    // start-up goes on; the folder scans then find no fragments.
    const std::string message = "Cannot read \"patterns.txt\" in " + CurrentFolder() + ": " +
                                error.what() +
                                ".\n\nThe folder scans will look for no text fragments.";
    MessageBoxA(window_, message.c_str(), kTitle, MB_OK | MB_ICONWARNING);
  }
  // As the start-up of the original: the first failure is shown and the
  // steps after it are skipped; the window stays usable.
  try {
    if (!Startup(*context_)) {
      const std::string message = "The plugins folder " + context_->plugins_folder +
                                  " was not found: the AddOn list is empty.";
      MessageBoxA(window_, message.c_str(), kTitle, MB_OK | MB_ICONWARNING);
    }
  } catch (const std::exception& error) {
    MessageBoxA(window_, error.what(), kTitle, MB_OK | MB_ICONERROR);
  }
  panel_.ShowAddOns(options_);
  context_->log.SetListener([this](const std::string& line) { feed_.AddLine(line); });
  context_->progress.caption = [this](const std::string& text) { feed_.SetCaption(text); };
  context_->progress.status = [this](const std::string& text) { feed_.SetStatus(text); };
}

void MainWindow::StartScan() {
  if (scanning_) return;
  StartUp();
  panel_.ReadInto(options_);
  scanning_ = true;
  EnableWindow(scan_button_, FALSE);
  EnableWindow(configure_button_, FALSE);
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  SetWindowTextA(memo_, "");
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] {
    ScanResult result;
    try {
      const std::string path = report_path_;
      result = RunScan(*context_, ReportTarget{path, [path](const std::string& bytes) {
                                                 platform::SaveFileAtomically(path, bytes);
                                               }});
    } catch (const std::exception& error) {
      result.completed = false;
      result.error = error.what();
    } catch (...) {
      result.completed = false;
      result.error = "The scan stopped on an unknown error.";
    }
    feed_.Finish(result);
  });
}

void MainWindow::ShowOptions(bool show) {
  EnableWindow(scan_button_, show ? FALSE : TRUE);
  ShowWindow(panel_.Handle(), show ? SW_SHOW : SW_HIDE);
  ShowWindow(memo_, show ? SW_HIDE : SW_SHOW);
}

void MainWindow::OnCommand(int id) {
  if (scanning_) return;
  // A panel button changes the boxes as the user left them.
  auto change = [&](void (ScanOptions::*button)()) {
    panel_.ReadInto(options_);
    (options_.*button)();
    panel_.ShowFrom(options_);
  };
  switch (id) {
    case kIdScan:
      if (IsWindowEnabled(scan_button_)) StartScan();
      break;
    case kIdConfigure:
      ShowOptions(true);
      break;
    case kCmdApply:
      ShowOptions(false);
      break;
    case kCmdDefault:
      change(&ScanOptions::Default);
      break;
    case kCmdFolderSelectAll:
      change(&ScanOptions::FolderSelectAll);
      break;
    case kCmdFolderRemoveAll:
      change(&ScanOptions::FolderRemoveAll);
      break;
    case kCmdRegistrySelectAll:
      change(&ScanOptions::RegistrySelectAll);
      break;
    case kCmdRegistryRemoveAll:
      change(&ScanOptions::RegistryRemoveAll);
      break;
    default:
      break;
  }
}

void MainWindow::TakeFeed() {
  ScanFeed::Batch batch = feed_.Take();
  AppendToEdit(memo_, batch.text);
  if (batch.caption) SetWindowTextA(window_, batch.caption->c_str());
  if (batch.status)
    SendMessageA(status_bar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(batch.status->c_str()));
  if (batch.result) FinishScan(*batch.result);
}

void MainWindow::FinishScan(const ScanResult& result) {
  if (worker_.joinable()) worker_.join();
  scanning_ = false;
  EnableWindow(scan_button_, TRUE);
  EnableWindow(configure_button_, TRUE);
  POINT cursor;
  GetCursorPos(&cursor);
  SetCursorPos(cursor.x, cursor.y);  // lets WM_SETCURSOR put the arrow back
  if (result.completed) return;
  std::string message;
  for (const auto& text : FailureLines(result, report_path_)) {
    message += (message.empty() ? "" : "\n\n") + text;
  }
  MessageBoxA(window_, message.c_str(), kTitle, MB_OK | MB_ICONERROR);
}

bool MainWindow::ConfirmClose() {
  if (!scanning_) return true;
  const int answer = MessageBoxA(window_,
                                 "A scan is running. Close Tarnscan without waiting for the "
                                 "report?",
                                 kTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  if (answer != IDYES) return false;
  // The scan cannot be stopped half-way through a section; ending the
  // process ends it with nothing saved.
  ExitProcess(0);
}

}  // namespace tarnscan::gui

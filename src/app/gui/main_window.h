// The program's one window: the top bar with "Start Scan", "Configure
// Scan Options" and the version, the report memo, the options panel that
// lies over the memo while it is shown, and the status bar. A scan runs on
// a thread of its own so the window keeps painting and shows the report
// lines as they come; the buttons stay disabled until it ends, so no
// second scan can start.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "app/gui/options_panel.h"
#include "app/gui/scan_feed.h"
#include "main/scan_context.h"
#include "platform/win32/handles.h"
#include "platform/win32/live_system.h"

namespace tarnscan::gui {

class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool Create(HINSTANCE instance, int show);
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void Layout(int width, int height);
  void ShowInitialMemo();
  void StartUp();
  void StartScan();
  void ShowOptions(bool show);
  void OnCommand(int id);
  void TakeFeed();
  void FinishScan(const ScanResult& result);
  bool ConfirmClose();
  LRESULT ColorStatic(HDC dc, HWND control);

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND scan_button_ = nullptr;
  HWND configure_button_ = nullptr;
  HWND version_label_ = nullptr;
  HWND credits_label_ = nullptr;
  HWND memo_ = nullptr;
  HWND status_bar_ = nullptr;
  HFONT ui_font_ = nullptr;
  HFONT memo_font_ = nullptr;
  HBRUSH memo_brush_ = nullptr;
  OptionsPanel panel_;

  platform::System system_;
  platform::Win32Shell* shell_ = nullptr;
  ScanOptions options_;
  std::unique_ptr<ScanContext> context_;
  std::string report_path_;
  bool started_ = false;
  bool scanning_ = false;
  std::thread worker_;
  ScanFeed feed_;
};

}  // namespace tarnscan::gui

// What a scan running on its own thread hands to the window: the report
// lines as they come, the latest caption and status text, and at the end
// the result. The scan thread only stores and posts one message; the
// window takes everything at once, so a burst of lines costs one repaint.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "main/scan_driver.h"
#include "platform/win32/handles.h"

namespace tarnscan::gui {

class ScanFeed {
 public:
  struct Batch {
    std::string text;  // lines, each followed by CR LF, as the memo shows them
    std::optional<std::string> caption;
    std::optional<std::string> status;
    std::optional<ScanResult> result;
  };

  // `message` is posted to `window` whenever something waits to be taken.
  void Connect(HWND window, UINT message);

  void AddLine(const std::string& line);
  void SetCaption(const std::string& text);
  void SetStatus(const std::string& text);
  void Finish(const ScanResult& result);

  Batch Take();

 private:
  void NotifyLocked();

  HWND window_ = nullptr;
  UINT message_ = 0;
  std::mutex mutex_;
  Batch pending_;
  bool posted_ = false;
};

// A report line as an edit control can show it: a NUL would end the text.
std::string MemoLine(const std::string& line);

}  // namespace tarnscan::gui

#include "app/gui/scan_feed.h"

namespace tarnscan::gui {

void ScanFeed::Connect(HWND window, UINT message) {
  std::lock_guard lock(mutex_);
  window_ = window;
  message_ = message;
}

void ScanFeed::AddLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  pending_.text += MemoLine(line);
  NotifyLocked();
}

void ScanFeed::SetCaption(const std::string& text) {
  std::lock_guard lock(mutex_);
  pending_.caption = text;
  NotifyLocked();
}

void ScanFeed::SetStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  pending_.status = text;
  NotifyLocked();
}

void ScanFeed::Finish(const ScanResult& result) {
  std::lock_guard lock(mutex_);
  pending_.result = result;
  NotifyLocked();
}

ScanFeed::Batch ScanFeed::Take() {
  std::lock_guard lock(mutex_);
  posted_ = false;
  return std::exchange(pending_, Batch{});
}

void ScanFeed::NotifyLocked() {
  if (posted_ || window_ == nullptr) return;
  posted_ = PostMessageA(window_, message_, 0, 0) != 0;
}

std::string MemoLine(const std::string& line) {
  std::string shown = line;
  for (char& c : shown) {
    if (c == '\0') c = ' ';
  }
  shown += "\r\n";
  return shown;
}

}  // namespace tarnscan::gui

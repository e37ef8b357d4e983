// The report being written: an ordered list of 8-bit lines that sections
// only append to. A listener (the window's memo, the command's progress)
// sees each line as it comes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarnscan {

class ScanLog {
 public:
  using Listener = std::function<void(const std::string&)>;

  void Add(std::string line) {
    lines_.push_back(std::move(line));
    if (listener_) listener_(lines_.back());
  }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // The report file's bytes: every line followed by CR LF, the last too.
  std::string Text() const {
    std::string text;
    for (const auto& line : lines_) {
      text += line;
      text += "\r\n";
    }
    return text;
  }

 private:
  std::vector<std::string> lines_;
  Listener listener_;
};

}  // namespace tarnscan

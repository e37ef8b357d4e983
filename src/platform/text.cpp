#include "platform/text.h"

namespace tarnscan::platform {

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {

int SortWeight(char c) {
  const auto byte = static_cast<unsigned char>(AsciiUpper(c));
  if (byte >= 0x80) return 0x300 + byte;
  if (byte >= '0' && byte <= '9') return 0x100 + byte;
  if (byte >= 'A' && byte <= 'Z') return 0x200 + byte;
  return byte;
}

}  // namespace

int CompareLocaleText(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int wa = SortWeight(a[i]);
    const int wb = SortWeight(b[i]);
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoreCase(a, b) == 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

void LineSplitter::Feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '\n' && after_cr_) {
      after_cr_ = false;
      continue;
    }
    after_cr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      lines_.push_back(std::move(current_));
      current_.clear();
      pending_ = false;
    } else {
      current_.push_back(c);
      pending_ = true;
    }
  }
}

std::vector<std::string> LineSplitter::Finish() {
  if (pending_) lines_.push_back(std::move(current_));
  current_.clear();
  pending_ = after_cr_ = false;
  return std::move(lines_);
}

}  // namespace tarnscan::platform

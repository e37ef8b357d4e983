// Code pages on Linux through glibc's iconv, which knows every Windows ANSI
// code page by its "CPnnn" name (the double-byte ones included).
#include <iconv.h>

#include <array>
#include <cerrno>
#include <mutex>

#include "platform/codepage.h"

namespace tarnscan::platform {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (Valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false when a character cannot be converted.
  bool Convert(std::string_view in, std::string& out) const {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    std::array<char, 256> buffer;
    while (src_left > 0) {
      char* dst = buffer.data();
      size_t dst_left = buffer.size();
      const size_t rc = iconv(handle_, &src, &src_left, &dst, &dst_left);
      out.append(buffer.data(), buffer.size() - dst_left);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    iconv(handle_, nullptr, nullptr, &dst, &dst_left);
    out.append(buffer.data(), buffer.size() - dst_left);
    return true;
  }

 private:
  iconv_t handle_;
};

class IconvCodePage final : public CodePage {
 public:
  explicit IconvCodePage(int id)
      : id_(id),
        name_("CP" + std::to_string(id)),
        to_ansi_(name_.c_str(), "UTF-16LE"),
        to_wide_("UTF-16LE", name_.c_str()) {}

  bool Valid() const { return to_ansi_.Valid() && to_wide_.Valid(); }
  int Id() const override { return id_; }

  std::string FromUtf16(std::u16string_view text) const override {
    std::lock_guard lock(mutex_);
    std::string out;
    if (to_ansi_.Convert(Utf16ToLittleEndian(text), out)) return out;
    // Slow path: one character at a time, "?" for what does not convert.
    out.clear();
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
      size_t len = 1;
      if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() &&
          text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        len = 2;  // only a real pair is one character
      }
      if (to_ansi_.Convert(Utf16ToLittleEndian(text.substr(i, len)), piece)) {
        out += piece;
      } else {
        out += '?';
      }
      i += len - 1;
    }
    return out;
  }

  std::u16string ToUtf16(std::string_view text) const override {
    std::lock_guard lock(mutex_);
    std::string out;
    if (to_wide_.Convert(text, out)) return Utf16FromLittleEndian(out);
    std::u16string result;
    for (char c : text) {
      // A byte that the code page leaves undefined maps to itself, as
      // MultiByteToWideChar does for single-byte code pages.
      if (to_wide_.Convert(std::string_view(&c, 1), out) && out.size() == 2) {
        result += Utf16FromLittleEndian(out);
      } else {
        result += static_cast<char16_t>(static_cast<unsigned char>(c));
      }
    }
    return result;
  }

 private:
  int id_;
  std::string name_;
  IconvHandle to_ansi_;
  IconvHandle to_wide_;
  mutable std::mutex mutex_;
};

}  // namespace

std::unique_ptr<CodePage> MakeCodePage(int id) {
  auto page = std::make_unique<IconvCodePage>(id);
  if (page->Valid()) return page;
  return std::make_unique<IconvCodePage>(1252);
}

}  // namespace tarnscan::platform

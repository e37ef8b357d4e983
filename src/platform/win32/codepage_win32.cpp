// Code pages through the conversion functions the ANSI entry points use
// themselves, so the report converts text exactly as the live system does
// (best-fit characters included).
#include <algorithm>

#include "platform/codepage.h"
#include "platform/win32/handles.h"

namespace tarnscan::platform {
namespace {

// The conversion functions take int lengths; longer text goes in pieces
// that never split a UTF-16 surrogate pair or a double-byte character.
constexpr size_t kPiece = 1 << 20;

class Win32CodePage final : public CodePage {
 public:
  explicit Win32CodePage(UINT id) : id_(id) {}
  int Id() const override { return static_cast<int>(id_); }

  std::string FromUtf16(std::u16string_view text) const override {
    std::string out;
    while (!text.empty()) {
      size_t take = std::min(text.size(), kPiece);
      if (take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] < 0xDC00) --take;
      AppendAnsi(text.substr(0, take), out);
      text.remove_prefix(take);
    }
    return out;
  }

  std::u16string ToUtf16(std::string_view text) const override {
    std::u16string out;
    while (!text.empty()) {
      size_t take = std::min(text.size(), kPiece);
      if (take < text.size()) take = WholeCharacters(text.substr(0, take));
      AppendWide(text.substr(0, take), out);
      text.remove_prefix(take);
    }
    return out;
  }

 private:
  void AppendAnsi(std::u16string_view text, std::string& out) const {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(id_, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(needed));
    const int written =
        WideCharToMultiByte(id_, 0, wide, length, out.data() + start, needed, nullptr, nullptr);
    out.resize(start + static_cast<size_t>(std::max(written, 0)));
  }

  void AppendWide(std::string_view text, std::u16string& out) const {
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(id_, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(needed));
    auto* wide = reinterpret_cast<wchar_t*>(out.data() + start);
    const int written = MultiByteToWideChar(id_, 0, text.data(), length, wide, needed);
    out.resize(start + static_cast<size_t>(std::max(written, 0)));
  }

  // The longest prefix that does not end inside a double-byte character.
  size_t WholeCharacters(std::string_view text) const {
    size_t i = 0;
    size_t whole = 0;
    while (i < text.size()) {
      const size_t step = IsDBCSLeadByteEx(id_, static_cast<BYTE>(text[i])) ? 2 : 1;
      if (i + step > text.size()) break;
      i += step;
      whole = i;
    }
    return whole == 0 ? text.size() : whole;
  }

  UINT id_;
};

}  // namespace

std::unique_ptr<CodePage> MakeCodePage(int id) {
  if (id <= 0 || id > 65535 || !IsValidCodePage(static_cast<UINT>(id))) id = 1252;
  return std::make_unique<Win32CodePage>(static_cast<UINT>(id));
}

}  // namespace tarnscan::platform

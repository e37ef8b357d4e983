// 8-bit text in the scanned system's ANSI code page.
//
// Windows keeps names and strings as UTF-16; the ANSI functions the scanner
// is built on (RegQueryValueExA, FindFirstFileA, VerQueryValueA, ...) hand
// them out converted with WideCharToMultiByte(CP_ACP), which writes "?" for
// every character the code page lacks. Every backend converts through this
// one interface so the report is the same whichever backend read the data.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarnscan::platform {

class CodePage {
 public:
  virtual ~CodePage() = default;
  // The Windows code page number (1252, 1251, 936, ...).
  virtual int Id() const = 0;
  // UTF-16 to 8-bit; "?" for what the code page cannot represent, as
  // WideCharToMultiByte does with its default character. Stops at nothing:
  // embedded NULs are converted like any other character.
  virtual std::string FromUtf16(std::u16string_view text) const = 0;
  // 8-bit to UTF-16, as MultiByteToWideChar(CP_ACP) does.
  virtual std::u16string ToUtf16(std::string_view text) const = 0;
};

// The code page of that number; an unknown number falls back to 1252.
// Implemented by the backend of the build (tables on Linux, the Win32
// conversion functions on Windows).
std::unique_ptr<CodePage> MakeCodePage(int id);

// UTF-16LE bytes as they lie in a file or a registry value.
std::u16string Utf16FromLittleEndian(std::string_view bytes);
std::string Utf16ToLittleEndian(std::u16string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace tarnscan::platform

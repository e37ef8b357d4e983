// The text files regedit exports and imports (.reg), read into the list of
// changes they describe. System folders and tests describe registries this
// way.
//
// Encodings, as regedit writes and reads them:
// - "REGEDIT4" files are 8-bit text in the ANSI code page; strings and
//   hex(2)/hex(7) bytes are taken as they are.
// - "Windows Registry Editor Version 5.00" files are UTF-16LE with a BOM.
//   Names and strings are converted to the code page; the bytes of hex(1),
//   hex(2) and hex(7) lists are UTF-16LE too and are converted the same way,
//   so the data is what RegQueryValueExA would return after an import.
// - A UTF-8 BOM marks UTF-8 text. A version 5 file without any BOM is read
//   as UTF-8 when it is valid UTF-8 with some non-ASCII byte (what a text
//   editor saves), else as 8-bit text in the code page.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace tarnscan::platform {

struct RegFileOp {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  RootKey root = RootKey::kLocalMachine;
  std::string key_path;    // below the root, no leading/trailing backslash, "" for the root
  std::string value_name;  // "" = the default value ("@")
  uint32_t type = kRegNone;
  // As RegQueryValueExA returns it: string types in the code page with their
  // terminating NUL(s), other types raw bytes (dword: 4 bytes little-endian).
  std::string data;
  int line = 0;  // 1-based line of the key or value in the file
};

// what() = "<file name>:<line>: <what is wrong>".
class RegFileError : public std::runtime_error {
 public:
  RegFileError(std::string_view file_name, int line, std::string_view message);
  int line() const { return line_; }

 private:
  int line_;
};

// Parses one .reg file. `bytes` is the whole file; `file_name` only names it
// in errors. Throws RegFileError at the first fault.
std::vector<RegFileOp> ParseRegFile(std::string_view bytes, std::string_view file_name,
                                    const CodePage& code_page);

}  // namespace tarnscan::platform

// Text helpers for 8-bit text. Case is folded for the ASCII letters A to Z
// only, as the scanner does everywhere (bytes above 127 compare exactly).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::platform {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// <0, 0, >0 comparing the upper-cased forms byte by byte.
int CompareIgnoreCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);

// Windows' locale-aware comparison without regard to case (CompareString
// with NORM_IGNORECASE, as sorted string lists use it), approximated for
// the bytes names are made of: punctuation and symbols sort before digits,
// digits before letters, letters without regard to case, other bytes last.
int CompareLocaleText(std::string_view a, std::string_view b);

// Splits on one character; "a\\b" gives "a", "", "b".
std::vector<std::string_view> Split(std::string_view text, char separator);

// Splits 8-bit text into lines as it arrives in pieces: CR LF, a lone LF
// or a lone CR ends a line, and a last line without its end still counts;
// nothing is trimmed. A lone LF counts because hosts files and pattern
// lists written by other tools often have Unix line ends, and Windows'
// own resolver reads such a hosts file line by line.
class LineSplitter {
 public:
  void Feed(std::string_view bytes);
  std::vector<std::string> Finish();

 private:
  std::vector<std::string> lines_;
  std::string current_;
  bool pending_ = false;   // text or a line end seen since the last line
  bool after_cr_ = false;  // an LF now belongs to that CR
};

struct LessIgnoreCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareIgnoreCase(a, b) < 0;
  }
};

}  // namespace tarnscan::platform

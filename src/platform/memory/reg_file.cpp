#include "platform/memory/reg_file.h"

#include <optional>
#include <utility>

#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kVersion4Header = "REGEDIT4";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Hostile files can hold lines of any length; errors quote only a start.
constexpr size_t kQuoteLimit = 40;

enum class TextEncoding { kAnsi, kUtf8 };

struct DecodedText {
  std::string text;
  TextEncoding encoding = TextEncoding::kAnsi;
  bool had_bom = false;
};

// Unicode files are parsed as UTF-8: every character the syntax uses is
// ASCII, so one byte-wise parser serves all encodings.
DecodedText Decode(std::string_view bytes) {
  if (StartsWith(bytes, kUtf16Bom)) {
    return {Utf16ToUtf8(Utf16FromLittleEndian(bytes.substr(kUtf16Bom.size()))), TextEncoding::kUtf8,
            true};
  }
  if (StartsWith(bytes, kUtf8Bom)) {
    return {std::string(bytes.substr(kUtf8Bom.size())), TextEncoding::kUtf8, true};
  }
  return {std::string(bytes), TextEncoding::kAnsi, false};
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// True for valid UTF-8 that is not plain ASCII: 8-bit text in a Windows code
// page almost never forms valid multi-byte sequences by chance.
bool IsUtf8WithNonAscii(std::string_view text) {
  bool non_ascii = false;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(lead);
    if (length == 0 || length > text.size() - i) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    non_ascii = true;
    i += length;
  }
  return non_ascii;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool ConsumeIgnoreCase(std::string_view& text, std::string_view prefix) {
  if (text.size() < prefix.size() || !EqualsIgnoreCase(text.substr(0, prefix.size()), prefix)) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to 8 hex digits; nullopt for anything else.
std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t number = 0;
  for (char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    number = (number << 4) | static_cast<uint32_t>(digit);
  }
  return number;
}

std::string Quote(std::string_view text) {
  if (text.size() <= kQuoteLimit) return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, kQuoteLimit)) + "...'";
}

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Lines without their line end and surrounding blanks, counted from 1.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (done_) return false;
    const size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) {
      line = text_.substr(position_);
      done_ = true;
    } else {
      line = text_.substr(position_, end - position_);
      position_ = end + 1;
    }
    ++number_;
    line = Trim(line);
    return true;
  }

  int number() const { return number_ > 0 ? number_ : 1; }

 private:
  std::string_view text_;
  size_t position_ = 0;
  int number_ = 0;
  bool done_ = false;
};

class Parser {
 public:
  Parser(const DecodedText& decoded, std::string_view file_name, const CodePage& code_page)
      : decoded_(decoded),
        encoding_(decoded.encoding),
        lines_(decoded.text),
        file_name_(file_name),
        code_page_(code_page) {}

  std::vector<RegFileOp> Parse() {
    ReadHeader();
    std::string_view line;
    while (lines_.Next(line)) {
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        ParseKeyLine(line);
      } else if (line.front() == '"' || line.front() == '@') {
        ParseValueLine(line);
      } else {
        Fail("unexpected text " + Quote(line) +
             "; expected [key], \"name\"=data, @=data or a ; comment");
      }
    }
    return std::move(ops_);
  }

 private:
  struct CurrentKey {
    RootKey root;
    std::string path;
  };

  [[noreturn]] void Fail(std::string_view message) const {
    throw RegFileError(file_name_, lines_.number(), message);
  }

  // Regedit refuses a file whose first line is not one of its headers;
  // blank lines before it are let through.
  void ReadHeader() {
    std::string_view line;
    while (lines_.Next(line) && line.empty()) {
    }
    if (EqualsIgnoreCase(line, kVersion5Header)) {
      version5_ = true;
    } else if (!EqualsIgnoreCase(line, kVersion4Header)) {
      Fail("missing header: expected '" + std::string(kVersion5Header) + "' or '" +
           std::string(kVersion4Header) + "'");
    }
    if (!decoded_.had_bom && version5_ && IsUtf8WithNonAscii(decoded_.text)) {
      encoding_ = TextEncoding::kUtf8;
    }
  }

  // File text to the code page, as the ANSI registry functions return it.
  std::string Narrow(std::string_view text) const {
    if (encoding_ == TextEncoding::kAnsi || IsAscii(text)) return std::string(text);
    return code_page_.FromUtf16(Utf8ToUtf16(text));
  }

  // [root\path] creates the key, [-root\path] deletes it with its subkeys.
  // Key names may hold ']', so the last one on the line closes the name.
  void ParseKeyLine(std::string_view line) {
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) Fail("missing closing ']' after the key name");
    if (close + 1 != line.size()) Fail("unexpected text after ']'");
    std::string_view name = line.substr(1, close - 1);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);

    const size_t slash = name.find('\\');
    const std::string_view root_name = name.substr(0, slash);
    const std::optional<RootKey> root = ParseRootKeyName(root_name);
    if (!root) Fail("unknown root key " + Quote(root_name));
    std::string_view path = slash == std::string_view::npos ? "" : name.substr(slash + 1);
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.find("\\\\") != std::string_view::npos) Fail("empty key name in " + Quote(path));

    RegFileOp op;
    op.kind = remove ? RegFileOp::Kind::kDeleteKey : RegFileOp::Kind::kCreateKey;
    op.root = *root;
    op.key_path = Narrow(path);
    op.line = lines_.number();
    if (remove) {
      current_.reset();
    } else {
      current_ = CurrentKey{op.root, op.key_path};
    }
    ops_.push_back(std::move(op));
  }

  void ParseValueLine(std::string_view line) {
    if (!current_) Fail("value outside a key: no [key] line before it");
    RegFileOp op;
    op.kind = RegFileOp::Kind::kSetValue;
    op.root = current_->root;
    op.key_path = current_->path;
    op.line = lines_.number();

    std::string_view rest = line;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      op.value_name = Narrow(ReadQuoted(rest));
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') Fail("expected '=' after value name");
    rest = TrimLeft(rest.substr(1));
    ParseValueData(rest, op);
    ops_.push_back(std::move(op));
  }

  void ParseValueData(std::string_view rest, RegFileOp& op) {
    if (rest == "-") {
      op.kind = RegFileOp::Kind::kDeleteValue;
    } else if (!rest.empty() && rest.front() == '"') {
      op.type = kRegSz;
      op.data = Narrow(ReadQuoted(rest));
      op.data.push_back('\0');
      if (!rest.empty()) Fail("unexpected text after the closing '\"'");
    } else if (ConsumeIgnoreCase(rest, "dword:")) {
      op.type = kRegDword;
      op.data = ParseDword(rest);
    } else if (ConsumeIgnoreCase(rest, "hex:")) {
      op.type = kRegBinary;
      op.data = ReadHexList(rest);
    } else if (ConsumeIgnoreCase(rest, "hex(")) {
      op.type = ParseHexType(rest);
      op.data = ReadHexList(rest);
      // Version 5 writes string types as UTF-16LE bytes, NULs included.
      if (version5_ && IsStringType(op.type)) {
        op.data = code_page_.FromUtf16(Utf16FromLittleEndian(op.data));
      }
    } else {
      Fail("unknown value data " + Quote(rest) +
           "; expected \"text\", dword:, hex:, hex(type): or -");
    }
  }

  // A quoted string at the start of `rest`, which is left after the closing
  // quote. Regedit escapes only the backslash and the quote.
  std::string ReadQuoted(std::string_view& rest) const {
    std::string text;
    size_t i = 1;
    while (i < rest.size()) {
      const char c = rest[i];
      if (c == '"') {
        rest.remove_prefix(i + 1);
        return text;
      }
      if (c == '\\') {
        if (i + 1 >= rest.size()) break;
        const char escaped = rest[i + 1];
        if (escaped != '\\' && escaped != '"') {
          Fail("unknown escape " + Quote(rest.substr(i, 2)) + " in a string (write '\\\\')");
        }
        text.push_back(escaped);
        i += 2;
        continue;
      }
      text.push_back(c);
      ++i;
    }
    Fail("unterminated string: missing closing '\"'");
  }

  std::string ParseDword(std::string_view digits) const {
    const std::optional<uint32_t> number = ParseHexNumber(digits);
    if (!number) Fail("bad dword " + Quote(digits) + ": expected 1 to 8 hex digits");
    std::string bytes(4, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
    }
    return bytes;
  }

  // "N):" after "hex(", N the type number in hex.
  uint32_t ParseHexType(std::string_view& rest) const {
    const size_t close = rest.find(')');
    const std::optional<uint32_t> type =
        close == std::string_view::npos ? std::nullopt : ParseHexNumber(rest.substr(0, close));
    if (!type) Fail("bad value type in hex(...): expected 1 to 8 hex digits and ')'");
    rest.remove_prefix(close + 1);
    if (rest.empty() || rest.front() != ':') Fail("expected ':' after hex(type)");
    rest.remove_prefix(1);
    return *type;
  }

  // Comma-separated bytes; a list ending with '\' goes on on the next line.
  std::string ReadHexList(std::string_view segment) {
    std::string bytes;
    for (;;) {
      const bool continues = !segment.empty() && segment.back() == '\\';
      if (continues) segment.remove_suffix(1);
      AppendHexBytes(segment, bytes);
      if (!continues || !lines_.Next(segment)) break;
    }
    return bytes;
  }

  // A comma may end the segment (regedit leaves one before each '\').
  void AppendHexBytes(std::string_view segment, std::string& bytes) const {
    size_t position = 0;
    for (;;) {
      const size_t comma = segment.find(',', position);
      const std::string_view item = Trim(segment.substr(position, comma - position));
      if (comma == std::string_view::npos) {
        if (!item.empty()) bytes.push_back(ParseHexByte(item));
        return;
      }
      bytes.push_back(ParseHexByte(item));
      position = comma + 1;
    }
  }

  char ParseHexByte(std::string_view item) const {
    const std::optional<uint32_t> number = item.size() <= 2 ? ParseHexNumber(item) : std::nullopt;
    if (!number) Fail("bad hex byte " + Quote(item));
    return static_cast<char>(*number);
  }

  const DecodedText& decoded_;
  TextEncoding encoding_;
  LineReader lines_;
  std::string_view file_name_;
  const CodePage& code_page_;
  bool version5_ = false;
  std::optional<CurrentKey> current_;
  std::vector<RegFileOp> ops_;
};

std::string ErrorText(std::string_view file_name, int line, std::string_view message) {
  return std::string(file_name) + ":" + std::to_string(line) + ": " + std::string(message);
}

}  // namespace

RegFileError::RegFileError(std::string_view file_name, int line, std::string_view message)
    : std::runtime_error(ErrorText(file_name, line, message)), line_(line) {}

std::vector<RegFileOp> ParseRegFile(std::string_view bytes, std::string_view file_name,
                                    const CodePage& code_page) {
  const DecodedText decoded = Decode(bytes);
  return Parser(decoded, file_name, code_page).Parse();
}

}  // namespace tarnscan::platform

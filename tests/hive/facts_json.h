// Reads the recorded facts of the real hives (expected/hives/*.facts.json):
// a small JSON reader for the shapes those files use (objects, arrays,
// strings, numbers, booleans).
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::testing {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& name) const {
    static const Json null;
    const auto it = fields.find(name);
    return it == fields.end() ? null : it->second;
  }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  Json Parse() {
    Json value = Value();
    Space();
    if (at_ != text_.size()) Fail("trailing text");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(at_));
  }
  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) {
      ++at_;
    }
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail("unexpected character");
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  unsigned Hex4() {
    if (at_ + 4 > text_.size()) Fail("short escape");
    const unsigned code = std::stoul(std::string(text_.substr(at_, 4)), nullptr, 16);
    at_ += 4;
    return code;
  }

  std::string String() {
    Expect('"');
    std::string out;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) Fail("bad escape");
      c = text_[at_++];
      switch (c) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          unsigned code = Hex4();
          if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            code = 0x10000 + ((code - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          out += c;
      }
    }
    if (at_ >= text_.size()) Fail("unterminated string");
    ++at_;
    return out;
  }

  Json Value() {
    Space();
    if (at_ >= text_.size()) Fail("missing value");
    Json value;
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      value.kind = Json::Kind::kObject;
      if (Take('}')) return value;
      do {
        Space();
        std::string name = String();
        Expect(':');
        value.fields[name] = Value();
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++at_;
      value.kind = Json::Kind::kArray;
      if (Take(']')) return value;
      do value.items.push_back(Value());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      value.kind = Json::Kind::kString;
      value.text = String();
    } else if (text_.substr(at_, 4) == "true" || text_.substr(at_, 5) == "false") {
      value.kind = Json::Kind::kBool;
      value.boolean = c == 't';
      at_ += value.boolean ? 4 : 5;
    } else if (text_.substr(at_, 4) == "null") {
      at_ += 4;
    } else {
      size_t used = 0;
      value.kind = Json::Kind::kNumber;
      value.number = std::stod(std::string(text_.substr(at_, 40)), &used);
      at_ += used;
    }
    return value;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace tarnscan::testing

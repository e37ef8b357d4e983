#include "hive/hivex_oracle.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/memory/reg_file.h"
#include "platform/offline/hive_writer.h"
#include "platform/text.h"

namespace tarnscan::testing {
namespace {

template <typename F>
bool Load(void* library, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(library, name));
  return out != nullptr;
}

std::unique_ptr<HivexApi> LoadHivex() {
  void* library = dlopen("libhivex.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto api = std::make_unique<HivexApi>();
  const bool ok =
      Load(library, "hivex_open", api->open) && Load(library, "hivex_close", api->close) &&
      Load(library, "hivex_root", api->root) && Load(library, "hivex_node_name", api->node_name) &&
      Load(library, "hivex_node_children", api->node_children) &&
      Load(library, "hivex_node_get_child", api->node_get_child) &&
      Load(library, "hivex_node_values", api->node_values) &&
      Load(library, "hivex_value_key", api->value_key) &&
      Load(library, "hivex_value_value", api->value_value) &&
      Load(library, "hivex_node_add_child", api->node_add_child) &&
      Load(library, "hivex_node_delete_child", api->node_delete_child) &&
      Load(library, "hivex_node_set_values", api->node_set_values) &&
      Load(library, "hivex_commit", api->commit);
  return ok ? std::move(api) : nullptr;
}

struct Freed {
  void operator()(void* p) const { free(p); }
};
using CString = std::unique_ptr<char, Freed>;

class HivexHandle {
 public:
  HivexHandle(const std::string& path, int flags) : h_(Hivex()->open(path.c_str(), flags)) {}
  ~HivexHandle() {
    if (h_ != nullptr) Hivex()->close(h_);
  }
  hive_h* get() const { return h_; }

 private:
  hive_h* h_;
};

std::string Utf8Name(const platform::HiveName& name) { return platform::Utf16ToUtf8(name.Utf16()); }

class Comparison {
 public:
  Comparison(hive_h* h, const platform::Hive& hive) : h_(h), hive_(hive) {}

  void Key(hive_node_h node, platform::Cell cell, const std::string& path) {
    const auto key = hive_.Key(cell);
    if (!key) return Differ(path + ": our reader cannot read the key");
    ++keys_;
    CompareValues(node, *key, path);
    std::unique_ptr<hive_node_h, Freed> children(Hivex()->node_children(h_, node));
    if (!children) return;  // beyond what hivex reads: compared no deeper
    std::vector<platform::Cell> cells;
    if (!hive_.Subkeys(*key, cells)) return Differ(path + ": our reader cannot list subkeys");
    size_t count = 0;
    while (children.get()[count] != 0) ++count;
    if (count != cells.size()) {
      return Differ(path + ": hivex lists " + std::to_string(count) + " subkeys, we list " +
                    std::to_string(cells.size()));
    }
    for (size_t i = 0; i < count; ++i) {
      CString hivex_name(Hivex()->node_name(h_, children.get()[i]));
      const auto child = hive_.Key(cells[i]);
      if (!hivex_name || !child) {
        Differ(path + ": subkey " + std::to_string(i) + " unreadable");
        continue;
      }
      const std::string ours = Utf8Name(child->name);
      if (ours != hivex_name.get()) {
        Differ(path + ": subkey " + std::to_string(i) + " is '" + hivex_name.get() +
               "' for hivex, '" + ours + "' for us");
        continue;
      }
      Key(children.get()[i], cells[i], path + "\\" + ours);
    }
  }

  std::vector<std::string> differences;
  size_t keys_ = 0;
  size_t values_ = 0;

 private:
  void Differ(std::string what) {
    if (differences.size() < 50) differences.push_back(std::move(what));
  }

  void CompareValues(hive_node_h node, const platform::HiveKeyNode& key, const std::string& path) {
    std::unique_ptr<hive_value_h, Freed> values(Hivex()->node_values(h_, node));
    std::vector<platform::Cell> cells;
    const bool ours_ok = hive_.Values(key, cells);
    if (!values) {
      if (ours_ok && !cells.empty()) Differ(path + ": hivex cannot list the values");
      return;
    }
    size_t count = 0;
    while (values.get()[count] != 0) ++count;
    if (!ours_ok || count != cells.size()) {
      return Differ(path + ": hivex lists " + std::to_string(count) + " values, we list " +
                    std::to_string(cells.size()));
    }
    for (size_t i = 0; i < count; ++i) {
      const hive_value_h v = values.get()[i];
      CString hivex_name(Hivex()->value_key(h_, v));
      hive_type type{};
      size_t length = 0;
      CString hivex_data(Hivex()->value_value(h_, v, &type, &length));
      const auto value = hive_.Value(cells[i]);
      if (!value) {
        Differ(path + ": value " + std::to_string(i) + " unreadable for us");
        continue;
      }
      const std::string name = Utf8Name(value->name);
      const std::string where = path + " value '" + name + "'";
      if (!hivex_name || name != hivex_name.get()) {
        Differ(where + ": named '" + (hivex_name ? hivex_name.get() : "?") + "' by hivex");
        continue;
      }
      const auto data = hive_.ValueData(*value);
      if (!hivex_data) {
        if (data) Differ(where + ": hivex cannot read the data, we can");
        continue;
      }
      ++values_;
      // hivex stores any 32-bit type in its enum; read it as the number.
      uint32_t raw_type = 0;
      std::memcpy(&raw_type, &type, sizeof raw_type);
      if (raw_type != value->type) {
        Differ(where + ": type " + std::to_string(raw_type) + " vs " +
               std::to_string(value->type));
      } else if (!data || *data != std::string_view(hivex_data.get(), length)) {
        Differ(where + ": data " + Hex(std::string_view(hivex_data.get(), length)) + " vs " +
               (data ? Hex(*data) : std::string("(unreadable)")));
      }
    }
  }

  hive_h* h_;
  const platform::Hive& hive_;
};

std::string ToUtf8(const platform::CodePage& code_page, std::string_view text) {
  return platform::Utf16ToUtf8(code_page.ToUtf16(text));
}

// Registry data as the hive stores it: strings back to UTF-16LE.
std::string StoredData(const platform::RegFileOp& op, const platform::CodePage& code_page) {
  if (op.type == platform::kRegSz || op.type == platform::kRegExpandSz ||
      op.type == platform::kRegMultiSz) {
    return platform::Utf16ToLittleEndian(code_page.ToUtf16(op.data));
  }
  return op.data;
}

class HivexWriter {
 public:
  HivexWriter(hive_h* h, const platform::CodePage& code_page) : h_(h), code_page_(code_page) {}

  hive_node_h Open(std::string_view path, bool create) {
    hive_node_h node = Hivex()->root(h_);
    if (path.empty()) return node;
    for (auto part : platform::Split(path, '\\')) {
      const std::string name = ToUtf8(code_page_, part);
      hive_node_h child = Hivex()->node_get_child(h_, node, name.c_str());
      if (child == 0) {
        if (!create) return 0;
        child = Hivex()->node_add_child(h_, node, name.c_str());
        if (child == 0) throw std::runtime_error("hivex cannot add key " + std::string(path));
      }
      node = child;
    }
    return node;
  }

  // The values of a key as hivex hands them back, to rewrite the list.
  struct OwnedValue {
    std::string name;
    hive_type type;
    std::string data;
  };
  std::vector<OwnedValue> ValuesOf(hive_node_h node) {
    std::vector<OwnedValue> list;
    std::unique_ptr<hive_value_h, Freed> values(Hivex()->node_values(h_, node));
    for (size_t i = 0; values && values.get()[i] != 0; ++i) {
      CString name(Hivex()->value_key(h_, values.get()[i]));
      hive_type type{};
      size_t length = 0;
      CString data(Hivex()->value_value(h_, values.get()[i], &type, &length));
      list.push_back({name ? name.get() : "", type, std::string(data.get(), length)});
    }
    return list;
  }

  void SetValues(hive_node_h node, std::vector<OwnedValue>& list) {
    std::vector<hive_set_value> raw;
    for (auto& value : list) {
      raw.push_back({value.name.data(), value.type, value.data.size(), value.data.data()});
    }
    if (Hivex()->node_set_values(h_, node, raw.size(), raw.data(), 0) != 0) {
      throw std::runtime_error("hivex cannot set values");
    }
  }

  void Apply(const platform::RegFileOp& op, std::string_view path) {
    using Kind = platform::RegFileOp::Kind;
    switch (op.kind) {
      case Kind::kCreateKey:
        Open(path, true);
        break;
      case Kind::kDeleteKey: {
        const hive_node_h node = Open(path, false);
        if (node != 0 && node != Hivex()->root(h_)) Hivex()->node_delete_child(h_, node);
        break;
      }
      case Kind::kSetValue:
      case Kind::kDeleteValue: {
        const hive_node_h node = Open(path, op.kind == Kind::kSetValue);
        if (node == 0) break;
        auto list = ValuesOf(node);
        const std::string name = ToUtf8(code_page_, op.value_name);
        std::erase_if(
            list, [&](const OwnedValue& v) { return platform::EqualsIgnoreCase(v.name, name); });
        if (op.kind == Kind::kSetValue) {
          list.push_back({name, static_cast<hive_type>(op.type), StoredData(op, code_page_)});
        }
        SetValues(node, list);
        break;
      }
    }
  }

 private:
  hive_h* h_;
  const platform::CodePage& code_page_;
};

}  // namespace

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

const HivexApi* Hivex() {
  static const std::unique_ptr<HivexApi> api = LoadHivex();
  return api.get();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnscan-hive-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}


std::string Unxz(const std::string& path) {
  std::string command = "xz -dc '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.append(buffer, n);
  if (pclose(pipe) != 0) return {};
  return bytes;
}

void WriteHiveFromReg(std::string_view reg_text, std::string_view mount, const std::string& path,
                      int code_page_id) {
  const auto code_page = platform::MakeCodePage(code_page_id);
  const auto ops = platform::ParseRegFile(reg_text, "fixture.reg", *code_page);
  const size_t separator = mount.find('\\');
  const auto root = platform::ParseRootKeyName(mount.substr(0, separator));
  if (!root) throw std::runtime_error("bad mount " + std::string(mount));
  const std::string prefix =
      separator == std::string_view::npos ? "" : std::string(mount.substr(separator + 1));

  WriteFile(path, platform::HiveWriter().Build());
  HivexHandle h(path, HIVEX_OPEN_WRITE);
  if (h.get() == nullptr) throw std::runtime_error("hivex cannot open the empty hive");
  HivexWriter writer(h.get(), *code_page);
  for (const auto& op : ops) {
    if (op.root != *root) continue;
    std::string_view key = op.key_path;
    if (!prefix.empty()) {
      if (!platform::EqualsIgnoreCase(key.substr(0, prefix.size()), prefix)) continue;
      key.remove_prefix(prefix.size());
      if (!key.empty() && key.front() != '\\') continue;
      if (!key.empty()) key.remove_prefix(1);
    }
    writer.Apply(op, key);
  }
  if (Hivex()->commit(h.get(), path.c_str(), 0) != 0) {
    throw std::runtime_error("hivex cannot commit " + path);
  }
}

std::vector<std::string> CompareWithHivex(const std::string& path, const platform::Hive& hive,
                                          size_t* keys_compared, size_t* values_compared) {
  HivexHandle h(path, 0);
  if (h.get() == nullptr) return {"hivex cannot open " + path};
  Comparison comparison(h.get(), hive);
  comparison.Key(Hivex()->root(h.get()), hive.Root(), "");
  if (keys_compared != nullptr) *keys_compared = comparison.keys_;
  if (values_compared != nullptr) *values_compared = comparison.values_;
  return comparison.differences;
}

}  // namespace tarnscan::testing

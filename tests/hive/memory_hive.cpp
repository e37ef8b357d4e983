#include "hive/memory_hive.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "hive/hivex_oracle.h"
#include "platform/offline/hive_writer.h"

namespace tarnscan::testing {
namespace {

bool IsStringType(uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz ||
         type == platform::kRegMultiSz;
}

class TreeWriter {
 public:
  TreeWriter(hive_h* h, const platform::CodePage& code_page) : h_(h), code_page_(code_page) {}

  void Write(hive_node_h node, const platform::MemoryRegistry::Node& source, int depth) {
    // Registry paths are at most 512 levels deep.
    if (depth > 512) throw std::runtime_error("key tree deeper than a registry holds");
    WriteValues(node, source);
    for (const auto& [key, child] : source.children) {
      const std::string name = Utf8(child->name);
      const hive_node_h added = Hivex()->node_add_child(h_, node, name.c_str());
      if (added == 0) throw std::runtime_error("hivex cannot add the key " + child->name);
      Write(added, *child, depth + 1);
    }
  }

 private:
  std::string Utf8(std::string_view text) const {
    return platform::Utf16ToUtf8(code_page_.ToUtf16(text));
  }

  void WriteValues(hive_node_h node, const platform::MemoryRegistry::Node& source) {
    if (source.values.empty()) return;
    // hivex keeps pointers into these until the call returns.
    std::vector<std::string> names;
    std::vector<std::string> data;
    names.reserve(source.values.size());
    data.reserve(source.values.size());
    std::vector<hive_set_value> values;
    for (const auto& [name, value] : source.values) {
      names.push_back(Utf8(name));
      data.push_back(IsStringType(value.type) ? platform::Utf16ToLittleEndian(code_page_.ToUtf16(value.data))
                                              : value.data);
      values.push_back({names.back().data(), static_cast<hive_type>(value.type), data.back().size(),
                        data.back().data()});
    }
    if (Hivex()->node_set_values(h_, node, values.size(), values.data(), 0) != 0) {
      throw std::runtime_error("hivex cannot set the values of " + source.name);
    }
  }

  hive_h* h_;
  const platform::CodePage& code_page_;
};

}  // namespace

void WriteHiveFromMemory(const platform::MemoryRegistry::Node& root,
                         const platform::CodePage& code_page, const std::string& path) {
  WriteFile(path, platform::HiveWriter().Build());
  hive_h* h = Hivex()->open(path.c_str(), HIVEX_OPEN_WRITE);
  if (h == nullptr) throw std::runtime_error("hivex cannot open the empty hive " + path);
  const std::unique_ptr<hive_h, decltype(Hivex()->close)> closer(h, Hivex()->close);
  TreeWriter(h, code_page).Write(Hivex()->root(h), root, 0);
  if (Hivex()->commit(h, path.c_str(), 0) != 0)
    throw std::runtime_error("hivex cannot commit " + path);
}

}  // namespace tarnscan::testing

// hivex (libhivex0) in the tests, in its two roles: the writer of hive
// fixtures from .reg text, and the independent reader our hive reader is
// checked against. The library is loaded at run time, so the test build
// needs nothing beyond the headers; a machine without it skips these tests.
#pragma once

#include <hivex.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/hive.h"
#include "support/files.h"

namespace tarnscan::testing {

struct HivexApi {
  decltype(&::hivex_open) open;
  decltype(&::hivex_close) close;
  decltype(&::hivex_root) root;
  decltype(&::hivex_node_name) node_name;
  decltype(&::hivex_node_children) node_children;
  decltype(&::hivex_node_get_child) node_get_child;
  decltype(&::hivex_node_values) node_values;
  decltype(&::hivex_value_key) value_key;
  decltype(&::hivex_value_value) value_value;
  decltype(&::hivex_node_add_child) node_add_child;
  decltype(&::hivex_node_delete_child) node_delete_child;
  decltype(&::hivex_node_set_values) node_set_values;
  decltype(&::hivex_commit) commit;
};

// nullptr when libhivex.so.0 cannot be loaded.
const HivexApi* Hivex();

// Skips the calling test when hivex is missing.
#define REQUIRE_HIVEX()                                 \
  do {                                                  \
    if (::tarnscan::testing::Hivex() == nullptr) {      \
      GTEST_SKIP() << "libhivex.so.0 is not installed"; \
    }                                                   \
  } while (0)

// A fresh folder under the system's temporary folder, removed with the
// object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Lower-case hexadecimal digits of the bytes, two per byte.
std::string Hex(std::string_view bytes);
// `xz -dc` of a file into bytes; empty when it fails.
std::string Unxz(const std::string& path);

// Writes a hive to `path` through hivex: an empty hive (our writer) is
// filled with the keys and values of the .reg text that lie below `mount`
// ("HKEY_LOCAL_MACHINE\SOFTWARE"); the mount itself is the hive's root.
// String data is stored as UTF-16LE, as regedit stores it. Throws
// std::runtime_error when hivex refuses a step.
void WriteHiveFromReg(std::string_view reg_text, std::string_view mount, const std::string& path,
                      int code_page = 1252);

// Walks the hive with hivex and with our reader side by side and lists
// every difference in key names, value names, types and data. Keys whose
// children hivex cannot list (its 70,000 subkey limit) are compared no
// deeper. `keys_compared` counts the keys both read.
std::vector<std::string> CompareWithHivex(const std::string& path, const platform::Hive& hive,
                                          size_t* keys_compared = nullptr,
                                          size_t* values_compared = nullptr);

}  // namespace tarnscan::testing

// Writes registry hive bytes (regf) from a tree built in memory: the base
// hives that tests fill through hivex, the large hives of the benchmarks
// and the seeds of the fuzzer. The scanner itself never writes a hive.
//
// The layout is the one Windows writes: sorted "lh" subkey lists (split
// under an "ri" index past `leaf_size` entries), resident data up to four
// bytes, "db" big data past 16344 bytes, one shared security cell.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"

namespace tarnscan::platform {

class HiveWriter {
 public:
  struct Options {
    uint32_t minor_version = 5;
    size_t leaf_size = 1000;
    uint32_t sequence = 1;
    int64_t timestamp = 0x01D5E1A2B3C4D5E6;  // any fixed FILETIME
  };

  struct Node;
  using KeyId = Node*;

  HiveWriter();
  explicit HiveWriter(Options options);
  ~HiveWriter();

  KeyId Root() { return root_.get(); }
  // The child of that name (matched without regard to case), created when
  // missing.
  KeyId AddKey(KeyId parent, std::u16string_view name);
  // Sets (or replaces) a value; `data` is the raw bytes as stored.
  void SetValue(KeyId key, std::u16string_view name, uint32_t type, std::string data);

  // The hive file.
  std::string Build() const;

 private:
  Options options_;
  std::unique_ptr<Node> root_;
};

// A REG_SZ payload: the text and its terminating NUL as UTF-16LE.
std::string RegSzData(std::u16string_view text);
std::string DwordData(uint32_t number);

}  // namespace tarnscan::platform

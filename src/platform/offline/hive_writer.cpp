#include "platform/offline/hive_writer.h"

#include <algorithm>
#include <map>

#include "platform/byte_source.h"
#include "platform/offline/hive.h"

namespace tarnscan::platform {

struct HiveWriter::Node {
  std::u16string name;
  std::map<std::u16string, std::unique_ptr<Node>> children;  // by upper-cased name
  std::vector<std::pair<std::u16string, std::pair<uint32_t, std::string>>> values;
};

namespace {

constexpr size_t kBinSize = 4096;
constexpr size_t kBinHeader = 32;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr size_t kBigDataSegment = 16344;

std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& c : upper) c = UpcaseUnit(c);
  return upper;
}

bool FitsLatin1(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; });
}

// Stored name bytes and whether they are compressed (Latin-1).
std::pair<std::string, bool> EncodeName(std::u16string_view name) {
  if (FitsLatin1(name)) {
    std::string bytes;
    for (char16_t c : name) bytes.push_back(static_cast<char>(c));
    return {bytes, true};
  }
  return {Utf16ToLittleEndian(name), false};
}

uint32_t NameHash(std::u16string_view name) {
  uint32_t hash = 0;
  for (char16_t c : name) hash = hash * 37 + UpcaseUnit(c);
  return hash;
}

class Layout {
 public:
  explicit Layout(const HiveWriter::Options& options) : options_(options) {}

  // Returns the offset of a new allocated cell holding `size` data bytes.
  uint32_t Allocate(size_t size) {
    const size_t total = (size + 4 + 7) & ~size_t{7};
    if (bin_end_ - used_ < total) StartBin(total);
    const uint32_t cell = static_cast<uint32_t>(used_);
    Put32(cell, static_cast<uint32_t>(-static_cast<int32_t>(total)));
    used_ += total;
    return cell;
  }
  void Put16(size_t at, uint16_t v) { PutLe16(bins_, at, v); }
  void Put32(size_t at, uint32_t v) { PutLe32(bins_, at, v); }
  void Put64(size_t at, uint64_t v) { PutLe64(bins_, at, v); }
  void PutBytes(size_t at, std::string_view bytes) { bins_.replace(at, bytes.size(), bytes); }

  // Closes the last bin and returns the hive bins data.
  std::string Finish() {
    CloseBin();
    return bins_;
  }

 private:
  void StartBin(size_t cell_size) {
    CloseBin();
    const size_t size =
        std::max(kBinSize, (cell_size + kBinHeader + kBinSize - 1) & ~(kBinSize - 1));
    const size_t start = bins_.size();
    bins_.resize(start + size, '\0');
    PutBytes(start, "hbin");
    Put32(start + 4, static_cast<uint32_t>(start));
    Put32(start + 8, static_cast<uint32_t>(size));
    Put64(start + 20, static_cast<uint64_t>(options_.timestamp));
    used_ = start + kBinHeader;
    bin_end_ = start + size;
  }
  // The rest of a bin is one free cell, so cells tile every bin.
  void CloseBin() {
    if (bin_end_ > used_) Put32(used_, static_cast<uint32_t>(bin_end_ - used_));
    used_ = bin_end_;
  }

  const HiveWriter::Options& options_;
  std::string bins_;
  size_t used_ = 0;
  size_t bin_end_ = 0;
};

class Serializer {
 public:
  Serializer(const HiveWriter::Options& options, size_t key_count)
      : options_(options), layout_(options) {
    WriteSecurity(key_count);
  }

  uint32_t WriteKey(const HiveWriter::Node& node, uint32_t parent, bool root) {
    const auto [name, compressed] = EncodeName(node.name);
    const uint32_t cell = layout_.Allocate(0x4C + name.size());
    const size_t d = cell + 4;
    layout_.PutBytes(d, "nk");
    layout_.Put16(d + 2, static_cast<uint16_t>((compressed ? 0x20 : 0) | (root ? 0x0C : 0)));
    layout_.Put64(d + 4, static_cast<uint64_t>(options_.timestamp));
    layout_.Put32(d + 16, parent);
    layout_.Put32(d + 20, static_cast<uint32_t>(node.children.size()));
    layout_.Put32(d + 28, kNone);
    layout_.Put32(d + 32, kNone);
    layout_.Put32(d + 40, kNone);
    layout_.Put32(d + 44, security_);
    layout_.Put32(d + 48, kNone);
    layout_.Put16(d + 72, static_cast<uint16_t>(name.size()));
    layout_.PutBytes(d + 0x4C, name);

    uint32_t longest_child = 0;
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // cell, hash
    for (const auto& [upper, child] : node.children) {
      entries.emplace_back(WriteKey(*child, cell, false), NameHash(child->name));
      longest_child = std::max<uint32_t>(longest_child, child->name.size() * 2);
    }
    if (!entries.empty()) layout_.Put32(d + 28, WriteSubkeyLists(entries));
    layout_.Put32(d + 52, longest_child);

    uint32_t longest_name = 0;
    uint32_t longest_data = 0;
    std::vector<uint32_t> value_cells;
    for (const auto& [value_name, typed] : node.values) {
      value_cells.push_back(WriteValue(value_name, typed.first, typed.second));
      longest_name = std::max<uint32_t>(longest_name, value_name.size() * 2);
      longest_data = std::max<uint32_t>(longest_data, typed.second.size());
    }
    layout_.Put32(d + 36, static_cast<uint32_t>(value_cells.size()));
    if (!value_cells.empty()) {
      const uint32_t list = layout_.Allocate(value_cells.size() * 4);
      for (size_t i = 0; i < value_cells.size(); ++i)
        layout_.Put32(list + 4 + i * 4, value_cells[i]);
      layout_.Put32(d + 40, list);
    }
    layout_.Put32(d + 60, longest_name);
    layout_.Put32(d + 64, longest_data);
    return cell;
  }

  std::string Finish() { return layout_.Finish(); }

 private:
  void WriteSecurity(size_t key_count) {
    // A self-relative descriptor with no DACL: access for everyone.
    static constexpr unsigned char kDescriptor[20] = {1, 0, 0x04, 0x80};
    security_ = layout_.Allocate(20 + sizeof(kDescriptor));
    const size_t d = security_ + 4;
    layout_.PutBytes(d, "sk");
    layout_.Put32(d + 4, security_);
    layout_.Put32(d + 8, security_);
    layout_.Put32(d + 12, static_cast<uint32_t>(key_count));
    layout_.Put32(d + 16, sizeof(kDescriptor));
    layout_.PutBytes(
        d + 20, std::string_view(reinterpret_cast<const char*>(kDescriptor), sizeof(kDescriptor)));
  }

  uint32_t WriteLeaf(const std::pair<uint32_t, uint32_t>* entries, size_t count) {
    const uint32_t cell = layout_.Allocate(4 + count * 8);
    layout_.PutBytes(cell + 4, "lh");
    layout_.Put16(cell + 6, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
      layout_.Put32(cell + 8 + i * 8, entries[i].first);
      layout_.Put32(cell + 12 + i * 8, entries[i].second);
    }
    return cell;
  }

  uint32_t WriteSubkeyLists(const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
    const size_t leaf = std::max<size_t>(1, std::min<size_t>(options_.leaf_size, 0xFFFF));
    if (entries.size() <= leaf) return WriteLeaf(entries.data(), entries.size());
    std::vector<uint32_t> leaves;
    for (size_t at = 0; at < entries.size(); at += leaf) {
      leaves.push_back(WriteLeaf(entries.data() + at, std::min(leaf, entries.size() - at)));
    }
    const uint32_t cell = layout_.Allocate(4 + leaves.size() * 4);
    layout_.PutBytes(cell + 4, "ri");
    layout_.Put16(cell + 6, static_cast<uint16_t>(leaves.size()));
    for (size_t i = 0; i < leaves.size(); ++i) layout_.Put32(cell + 8 + i * 4, leaves[i]);
    return cell;
  }

  uint32_t WriteData(const std::string& data) {
    if (options_.minor_version < 4 || data.size() <= kBigDataSegment) {
      const uint32_t cell = layout_.Allocate(data.size());
      layout_.PutBytes(cell + 4, data);
      return cell;
    }
    std::vector<uint32_t> segments;
    for (size_t at = 0; at < data.size(); at += kBigDataSegment) {
      const std::string_view piece = std::string_view(data).substr(at, kBigDataSegment);
      const uint32_t cell = layout_.Allocate(piece.size());
      layout_.PutBytes(cell + 4, piece);
      segments.push_back(cell);
    }
    const uint32_t list = layout_.Allocate(segments.size() * 4);
    for (size_t i = 0; i < segments.size(); ++i) layout_.Put32(list + 4 + i * 4, segments[i]);
    const uint32_t cell = layout_.Allocate(8);
    layout_.PutBytes(cell + 4, "db");
    layout_.Put16(cell + 6, static_cast<uint16_t>(segments.size()));
    layout_.Put32(cell + 8, list);
    return cell;
  }

  uint32_t WriteValue(std::u16string_view value_name, uint32_t type, const std::string& data) {
    const auto [name, compressed] = EncodeName(value_name);
    const uint32_t cell = layout_.Allocate(0x14 + name.size());
    const size_t d = cell + 4;
    layout_.PutBytes(d, "vk");
    layout_.Put16(d + 2, static_cast<uint16_t>(name.size()));
    if (data.size() <= 4) {
      uint32_t inline_bytes = 0;
      for (size_t i = 0; i < data.size(); ++i) {
        inline_bytes |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
      }
      layout_.Put32(d + 4, 0x80000000u | static_cast<uint32_t>(data.size()));
      layout_.Put32(d + 8, inline_bytes);
    } else {
      layout_.Put32(d + 4, static_cast<uint32_t>(data.size()));
      layout_.Put32(d + 8, WriteData(data));
    }
    layout_.Put32(d + 12, type);
    layout_.Put16(d + 16, compressed && !name.empty() ? 1 : 0);
    layout_.PutBytes(d + 0x14, name);
    return cell;
  }

  const HiveWriter::Options& options_;
  Layout layout_;
  uint32_t security_ = 0;
};

size_t CountKeys(const HiveWriter::Node& node) {
  size_t count = 1;
  for (const auto& [upper, child] : node.children) count += CountKeys(*child);
  return count;
}

}  // namespace

std::string RegSzData(std::u16string_view text) {
  std::string bytes = Utf16ToLittleEndian(text);
  bytes.append(2, '\0');
  return bytes;
}

std::string DwordData(uint32_t number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return bytes;
}

HiveWriter::HiveWriter() : HiveWriter(Options{}) {}

HiveWriter::HiveWriter(Options options) : options_(options), root_(std::make_unique<Node>()) {
  root_->name = u"ROOT";
}

HiveWriter::~HiveWriter() = default;

HiveWriter::KeyId HiveWriter::AddKey(KeyId parent, std::u16string_view name) {
  auto& slot = parent->children[Upper(name)];
  if (!slot) {
    slot = std::make_unique<Node>();
    slot->name = std::u16string(name);
  }
  return slot.get();
}

void HiveWriter::SetValue(KeyId key, std::u16string_view name, uint32_t type, std::string data) {
  const std::u16string upper = Upper(name);
  for (auto& [existing, typed] : key->values) {
    if (Upper(existing) == upper) {
      typed = {type, std::move(data)};
      return;
    }
  }
  key->values.emplace_back(std::u16string(name), std::make_pair(type, std::move(data)));
}

std::string HiveWriter::Build() const {
  Serializer serializer(options_, CountKeys(*root_));
  const uint32_t root = serializer.WriteKey(*root_, 0, true);
  const std::string bins = serializer.Finish();

  std::string file(kHiveBaseBlockSize, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  file.replace(0, 4, "regf");
  put32(4, options_.sequence);
  put32(8, options_.sequence);
  put32(12, static_cast<uint32_t>(options_.timestamp));
  put32(16, static_cast<uint32_t>(static_cast<uint64_t>(options_.timestamp) >> 32));
  put32(20, 1);
  put32(24, options_.minor_version);
  put32(28, 0);
  put32(32, 1);
  put32(36, root);
  put32(40, static_cast<uint32_t>(bins.size()));
  put32(44, 1);
  put32(508, HiveHeaderChecksum(file));
  return file + bins;
}

}  // namespace tarnscan::platform

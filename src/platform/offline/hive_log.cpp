#include "platform/offline/hive_log.h"

#include <dirent.h>

#include <algorithm>

#include "platform/byte_source.h"
#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr size_t kLogHeaderSize = 512;
constexpr size_t kEntryHeaderSize = 40;
constexpr size_t kPage = 4096;
constexpr size_t kSector = 512;
constexpr uint32_t kLogTypeOld = 1;
constexpr uint32_t kLogTypeOldAlternate = 2;
constexpr uint32_t kLogTypeNew = 6;


uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

struct Log {
  const HiveLogFile* file;
  HiveHeader header;
};

// The logs whose base block is intact, by format.
std::vector<Log> ValidLogs(const std::vector<HiveLogFile>& logs, bool new_format) {
  std::vector<Log> valid;
  for (const auto& file : logs) {
    const auto header = ParseHiveHeader(file.bytes);
    if (!header || !header->checksum_ok) continue;
    const bool is_new = header->file_type == kLogTypeNew;
    const bool is_old =
        header->file_type == kLogTypeOld || header->file_type == kLogTypeOldAlternate;
    if (new_format ? is_new : is_old) valid.push_back({&file, *header});
  }
  return valid;
}

// The hive after a replay: sequence numbers equal, size and checksum set.
void SealHeader(std::string& hive, uint32_t sequence, uint32_t bins_size) {
  PutLe32(hive, 4, sequence);
  PutLe32(hive, 8, sequence);
  PutLe32(hive, 28, 0);
  PutLe32(hive, 40, bins_size);
  PutLe32(hive, 508, HiveHeaderChecksum(hive));
}

// A base block the primary file lost (wrong checksum) comes back from a
// log's copy of its first sector.
void RestoreBaseBlock(std::string& hive, const Log& log) {
  hive.replace(0, kLogHeaderSize, log.file->bytes.substr(0, kLogHeaderSize));
  PutLe32(hive, 28, 0);
}

std::optional<HiveReplay> ReplayNewFormat(std::string_view primary, const HiveHeader& header,
                                          std::vector<Log> logs, size_t size_limit,
                                          std::string* why) {
  std::string hive(primary);
  uint32_t next = header.primary_sequence;
  if (!header.checksum_ok) {
    RestoreBaseBlock(hive, logs.front());
    next = ParseHiveHeader(hive)->primary_sequence;
  }
  // The older log holds the earlier entries.
  std::stable_sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) {
    return a.header.primary_sequence < b.header.primary_sequence;
  });
  HiveReplay replay;
  uint32_t bins_size = ParseHiveHeader(hive)->bins_size;
  bool broken = false;
  for (const Log& log : logs) {
    const std::string_view bytes = log.file->bytes;
    bool used = false;
    for (size_t at = kLogHeaderSize; !broken && at + kEntryHeaderSize <= bytes.size();) {
      if (bytes.substr(at, 4) != "HvLE") break;
      const uint32_t size = Le32(bytes, at + 4);
      if (size < kEntryHeaderSize || size % kSector != 0 || size > bytes.size() - at) break;
      const std::string_view entry = bytes.substr(at, size);
      const uint32_t sequence = Le32(entry, 12);
      at += size;
      if (sequence < next) continue;  // already in the primary file
      const uint32_t new_bins_size = Le32(entry, 16);
      const uint32_t pages = Le32(entry, 20);
      // A torn entry or a gap in the sequence ends the replay.
      if (sequence != next ||
          Marvin32(entry.substr(kEntryHeaderSize), kHiveLogSeed) != Le64(entry, 24) ||
          Marvin32(entry.substr(0, 32), kHiveLogSeed) != Le64(entry, 32) ||
          new_bins_size % kPage != 0 || new_bins_size > size_limit ||
          pages > (size - kEntryHeaderSize) / 8) {
        broken = true;
        break;
      }
      // Every page must lie inside the entry and the hive before any is
      // written, so a bad entry changes nothing.
      const size_t first_page = kEntryHeaderSize + static_cast<size_t>(pages) * 8;
      size_t data = first_page;
      for (uint32_t i = 0; i < pages && !broken; ++i) {
        const uint32_t offset = Le32(entry, kEntryHeaderSize + i * 8);
        const uint32_t length = Le32(entry, kEntryHeaderSize + i * 8 + 4);
        broken = length > size - data || offset > new_bins_size || length > new_bins_size - offset;
        data += length;
      }
      if (broken) break;
      hive.resize(kHiveBaseBlockSize + new_bins_size, '\0');
      data = first_page;
      for (uint32_t i = 0; i < pages; ++i) {
        const uint32_t offset = Le32(entry, kEntryHeaderSize + i * 8);
        const uint32_t length = Le32(entry, kEntryHeaderSize + i * 8 + 4);
        hive.replace(kHiveBaseBlockSize + offset, length, entry.substr(data, length));
        data += length;
      }
      bins_size = new_bins_size;
      ++next;
      ++replay.entries;
      used = true;
    }
    if (used) replay.log_name += (replay.log_name.empty() ? "" : ", ") + log.file->name;
  }
  if (replay.entries == 0) {
    if (why) *why = "no log entry continues its sequence number " + std::to_string(next);
    return std::nullopt;
  }
  SealHeader(hive, next - 1, bins_size);
  replay.bytes = std::move(hive);
  return replay;
}

std::optional<HiveReplay> ReplayOldFormat(std::string_view primary, const HiveHeader& header,
                                          const std::vector<Log>& logs, size_t size_limit,
                                          std::string* why) {
  // A primary file whose base block is lost is known by its first bin's
  // copy of the timestamp.
  const int64_t written = header.checksum_ok || primary.size() < kHiveBaseBlockSize + 28
                              ? header.last_written
                              : static_cast<int64_t>(Le64(primary, kHiveBaseBlockSize + 20));
  const Log* chosen = nullptr;
  for (const Log& log : logs) {
    if (log.header.primary_sequence != log.header.secondary_sequence) continue;
    if (log.header.last_written != written) continue;
    if (chosen == nullptr || log.header.primary_sequence > chosen->header.primary_sequence) {
      chosen = &log;
    }
  }
  if (chosen == nullptr) {
    if (why) *why = "no log was written with it";
    return std::nullopt;
  }
  const std::string_view bytes = chosen->file->bytes;
  const uint32_t bins_size = chosen->header.bins_size;
  if (bins_size % kPage != 0 || bins_size > size_limit || bytes.size() < kLogHeaderSize + 4 ||
      bytes.substr(kLogHeaderSize, 4) != "DIRT") {
    if (why) *why = chosen->file->name + " has no dirty page map";
    return std::nullopt;
  }
  const size_t bitmap_bytes = bins_size / kSector / 8;
  const size_t bitmap = kLogHeaderSize + 4;
  if (bitmap_bytes > bytes.size() - bitmap) {
    if (why) *why = chosen->file->name + " is cut short";
    return std::nullopt;
  }
  std::string hive(primary);
  if (!header.checksum_ok) RestoreBaseBlock(hive, *chosen);
  hive.resize(kHiveBaseBlockSize + bins_size, '\0');
  size_t page = (bitmap + bitmap_bytes + kSector - 1) / kSector * kSector;
  for (size_t bit = 0; bit < bitmap_bytes * 8; ++bit) {
    if ((static_cast<unsigned char>(bytes[bitmap + bit / 8]) & (1u << (bit % 8))) == 0) continue;
    if (page > bytes.size() || bytes.size() - page < kSector) {
      if (why) *why = chosen->file->name + " is cut short";
      return std::nullopt;
    }
    hive.replace(kHiveBaseBlockSize + bit * kSector, kSector, bytes.substr(page, kSector));
    page += kSector;
  }
  SealHeader(hive, chosen->header.primary_sequence, bins_size);
  return HiveReplay{std::move(hive), chosen->file->name, 1};
}

std::string ReadWholeFile(const std::string& path) {
  auto bytes = ReadFileForReading(path);
  if (!bytes) throw HiveError(path + ": cannot be read");
  return std::move(*bytes);
}

// FILE.LOG, FILE.LOG1 and FILE.LOG2 beside the hive, in that order.
std::vector<HiveLogFile> LogsBeside(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<HiveLogFile> logs;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return logs;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  for (const char* suffix : {".LOG", ".LOG1", ".LOG2"}) {
    for (const auto& name : names) {
      if (!EqualsIgnoreCase(name, base + suffix)) continue;
      const std::string log_path = folder + "/" + name;
      try {
        logs.push_back({log_path, ReadWholeFile(log_path)});
      } catch (const HiveError&) {
        // An unreadable log is no log.
      }
      break;
    }
  }
  return logs;
}

}  // namespace

uint64_t Marvin32(std::string_view data, uint64_t seed) {
  uint32_t low = static_cast<uint32_t>(seed);
  uint32_t high = static_cast<uint32_t>(seed >> 32);
  auto mix = [&] {
    high ^= low;
    low = Rotl(low, 20) + high;
    high = Rotl(high, 9) ^ low;
    low = Rotl(low, 27) + high;
    high = Rotl(high, 19);
  };
  const size_t words = data.size() / 4;
  for (size_t i = 0; i < words; ++i) {
    low += Le32(data, i * 4);
    mix();
  }
  // The tail bytes, then 0x80, padded to a word.
  uint32_t last = 0x80;
  const size_t rest = data.size() % 4;
  for (size_t i = rest; i > 0; --i) {
    last = (last << 8) | static_cast<unsigned char>(data[words * 4 + i - 1]);
  }
  low += last;
  mix();
  mix();
  return static_cast<uint64_t>(low) | (static_cast<uint64_t>(high) << 32);
}

std::optional<HiveReplay> ReplayHiveLogs(std::string_view primary,
                                         const std::vector<HiveLogFile>& logs, std::string* why) {
  const auto header = ParseHiveHeader(primary);
  if (!header) {
    if (why) *why = "not a hive";
    return std::nullopt;
  }
  if (header->checksum_ok && header->primary_sequence == header->secondary_sequence) {
    if (why) *why = "the hive is clean";
    return std::nullopt;
  }
  // Pages a log adds come from the log itself: the hive grows by no more.
  size_t size_limit = header->bins_size;
  for (const auto& log : logs) size_limit += log.bytes.size();
  size_limit = std::min<size_t>(size_limit, 0x7FFFF000u);

  if (auto logs_new = ValidLogs(logs, true); !logs_new.empty()) {
    return ReplayNewFormat(primary, *header, std::move(logs_new), size_limit, why);
  }
  if (auto logs_old = ValidLogs(logs, false); !logs_old.empty()) {
    return ReplayOldFormat(primary, *header, logs_old, size_limit, why);
  }
  if (why) *why = logs.empty() ? "it has no transaction log" : "its logs are not readable";
  return std::nullopt;
}

std::unique_ptr<Hive> OpenHiveWithLogs(const std::string& path, bool replay_logs,
                                       const std::function<void(const std::string&)>& warn) {
  auto hive_or_bytes = [&]() -> std::unique_ptr<Hive> {
    try {
      return Hive::OpenFile(path);
    } catch (const HiveError&) {
      return nullptr;  // a log may still recover it
    }
  }();
  const bool dirty = hive_or_bytes == nullptr || hive_or_bytes->IsDirty();
  if (!dirty) return hive_or_bytes;
  if (!replay_logs) {
    if (hive_or_bytes == nullptr) return Hive::OpenFile(path);  // throws the real error
    if (warn)
      warn("warning: registry hive " + path +
           " was not closed cleanly; read as it stands without its logs");
    return hive_or_bytes;
  }
  const std::string primary =
      hive_or_bytes ? std::string(hive_or_bytes->Bytes()) : ReadWholeFile(path);
  std::string why;
  if (auto replay = ReplayHiveLogs(primary, LogsBeside(path), &why)) {
    try {
      return Hive::FromBytes(std::move(replay->bytes), path);
    } catch (const HiveError&) {
      why = "replaying " + replay->log_name + " left no readable hive";
    }
  }
  if (hive_or_bytes == nullptr) return Hive::OpenFile(path);
  if (warn) {
    warn("warning: registry hive " + path + " was not closed cleanly and " + why +
         "; read as it stands");
  }
  return hive_or_bytes;
}

}  // namespace tarnscan::platform

// Transaction logs of registry hives, replayed in memory as the
// configuration manager replays them when it loads a hive that was not
// written to the end (a crash, a power cut, an image taken from a running
// system):
//
// - old format (Windows XP to 8; FILE.LOG, or FILE.LOG1/FILE.LOG2 from
//   Vista on): a base block copy, a "DIRT" bitmap with one bit per
//   512-byte page of the hive bins data, then the dirty pages in bit
//   order. It applies when its timestamp is the primary file's.
// - new format (Windows 8.1 on; FILE.LOG1, FILE.LOG2): "HvLE" entries,
//   each with a sequence number, the hive bins size and dirty pages,
//   guarded by two Marvin32 hashes. Entries are applied from the primary
//   file's sequence number on, in unbroken order across both logs; a
//   torn entry (wrong hash) ends the replay.
//
// Nothing is written back: the recovered hive lives in memory only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/offline/hive.h"

namespace tarnscan::platform {

struct HiveLogFile {
  std::string name;
  std::string bytes;
};

struct HiveReplay {
  std::string bytes;     // the recovered hive file
  std::string log_name;  // the log(s) applied
  uint32_t entries = 0;  // log entries applied (old format: 1)
};

// The Marvin32 hash the new-format logs use, with their seed.
uint64_t Marvin32(std::string_view data, uint64_t seed);
constexpr uint64_t kHiveLogSeed = 0x82EF4D887A4E55C5ull;

// Replays the logs over the primary file's bytes. nullopt when the hive is
// clean or no log applies to it (`why` then says which).
std::optional<HiveReplay> ReplayHiveLogs(std::string_view primary,
                                         const std::vector<HiveLogFile>& logs, std::string* why);

// Opens a hive file the way Windows loads it: when it is dirty and
// `replay_logs` is set, its logs beside it (FILE.LOG, FILE.LOG1,
// FILE.LOG2, names matched without regard to case) are replayed in memory.
// A dirty hive read as it stands gives a warning naming it. Throws
// HiveError as Hive::OpenFile does.
std::unique_ptr<Hive> OpenHiveWithLogs(const std::string& path, bool replay_logs,
                                       const std::function<void(const std::string&)>& warn);

}  // namespace tarnscan::platform

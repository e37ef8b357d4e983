// Transaction log replay: the dirty hives Windows left with their logs,
// checked against the hives Windows itself wrote after replaying them, and
// logs made here to show what ends a replay.
#include "platform/offline/hive_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "hive/hivex_oracle.h"
#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/hive_writer.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;
using platform::Cell;
using platform::Hive;

// Every key path and every value (name, type, data) of a hive, in order:
// what "key for key, value for value" compares. Timestamps are left out.
void Dump(const Hive& hive, Cell cell, const std::string& path, std::vector<std::string>& out,
          int depth = 0) {
  const auto key = hive.Key(cell);
  if (!key || depth > 64) {
    out.push_back(path + " <unreadable>");
    return;
  }
  out.push_back(path);
  std::vector<Cell> cells;
  hive.Values(*key, cells);
  for (Cell value_cell : cells) {
    const auto value = hive.Value(value_cell);
    if (!value) continue;
    const auto data = hive.ValueData(*value);
    out.push_back(path + " = " + platform::Utf16ToUtf8(value->name.Utf16()) + " (" +
                  std::to_string(value->type) + ") " + (data ? *data : "<unreadable>"));
  }
  hive.Subkeys(*key, cells);
  for (Cell child : cells) {
    const auto child_key = hive.Key(child);
    const std::string name = child_key ? platform::Utf16ToUtf8(child_key->name.Utf16()) : "?";
    Dump(hive, child, path + "\\" + name, out, depth + 1);
  }
}

std::vector<std::string> Dump(const Hive& hive) {
  std::vector<std::string> out;
  Dump(hive, hive.Root(), "", out);
  return out;
}

TEST(HiveLog, Marvin32MatchesTheHashesOfARealLog) {
  const std::string path = RealData("hives/logs/NewDirtyHive1/NewDirtyHive.LOG1");
  if (!fs::exists(path)) GTEST_SKIP() << "missing " << path;
  const std::string log = ReadFile(path);
  const std::string_view entry = std::string_view(log).substr(512, 0x5e00);
  uint64_t hash1 = 0, hash2 = 0;
  std::memcpy(&hash1, entry.data() + 24, 8);
  std::memcpy(&hash2, entry.data() + 32, 8);
  EXPECT_EQ(platform::Marvin32(entry.substr(40), platform::kHiveLogSeed), hash1);
  EXPECT_EQ(platform::Marvin32(entry.substr(0, 32), platform::kHiveLogSeed), hash2);
  // Tails of every length pad the same way.
  EXPECT_NE(platform::Marvin32("a", 1), platform::Marvin32("a\x80", 1));
  EXPECT_NE(platform::Marvin32("abc", 1), platform::Marvin32("abcd", 1));
}

// The oracle: Windows replayed these logs and wrote the result.
TEST(HiveLog, ReplayGivesWhatWindowsWroteAfterReplaying) {
  struct Case {
    const char* dirty;
    const char* recovered;
    const char* format;
  };
  for (const Case& c : {Case{"hives/logs/NewDirtyHive1/NewDirtyHive",
                             "hives/logs/NewDirtyHive1/RecoveredHive_Windows10", "new"},
                        Case{"hives/logs/OldDirtyHive/OldDirtyHive",
                             "hives/logs/OldDirtyHive/RecoveredHive_Windows7", "old"}}) {
    SCOPED_TRACE(c.dirty);
    if (!fs::exists(RealData(c.dirty))) GTEST_SKIP() << "missing " << c.dirty;
    std::vector<std::string> warnings;
    auto warn = [&](const std::string& line) { warnings.push_back(line); };
    const auto replayed = platform::OpenHiveWithLogs(RealData(c.dirty), true, warn);
    const auto as_is = platform::OpenHiveWithLogs(RealData(c.dirty), false, warn);
    const auto windows = Hive::OpenFile(RealData(c.recovered));
    EXPECT_FALSE(replayed->IsDirty());
    EXPECT_TRUE(as_is->IsDirty());
    const auto expected = Dump(*windows);
    EXPECT_EQ(Dump(*replayed), expected);
    EXPECT_NE(Dump(*as_is), expected);
    // Only the hive read as it stands is warned about, by name.
    ASSERT_EQ(warnings.size(), 1u) << c.format;
    EXPECT_NE(warnings[0].find(RealData(c.dirty)), std::string::npos) << warnings[0];
  }
}

TEST(HiveLog, ReplayedUserHiveStillHoldsItsRunValue) {
  const std::string path = RealData("hives/win10/NTUSER-tony.DAT");
  if (!fs::exists(path)) GTEST_SKIP() << "missing " << path;
  std::string why;
  const std::string primary = ReadFile(path);
  const auto replay = platform::ReplayHiveLogs(
      primary, {{"LOG1", ReadFile(path + ".LOG1")}, {"LOG2", ReadFile(path + ".LOG2")}}, &why);
  ASSERT_TRUE(replay) << why;
  // LOG1 continues the hive's sequence number 567 up to 588; LOG2 is older.
  EXPECT_EQ(replay->entries, 22u);
  EXPECT_EQ(replay->log_name, "LOG1");
  const auto code_page = platform::MakeCodePage(1252);
  platform::HiveRegistry registry(*code_page);
  registry.Mount(platform::RootKey::kCurrentUser, "",
                 Hive::FromBytes(replay->bytes, "NTUSER-tony.DAT"));
  const auto run =
      registry.Open(platform::RootKey::kCurrentUser,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Run", platform::Access::kRead);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->Value("OneDrive")->data,
            std::string("\"C:\\Users\\tony\\AppData\\Local\\Microsoft\\OneDrive\\OneDrive.exe\" "
                        "/background") +
                '\0');
}

// ---------------------------------------------------------------------------
// Logs made here: one entry that carries all of a newer hive's bins.

std::string NewFormatLog(const std::string& newer, uint32_t sequence, int entries = 1) {
  std::string log = newer.substr(0, 512);
  log[28] = 6;  // a new-format log
  const uint32_t checksum = platform::HiveHeaderChecksum(log);
  std::memcpy(log.data() + 508, &checksum, 4);
  const std::string bins = newer.substr(platform::kHiveBaseBlockSize);
  for (int i = 0; i < entries; ++i) {
    std::string entry(40, '\0');
    const uint32_t fields[] = {0, 0, sequence + i, static_cast<uint32_t>(bins.size()), 1};
    entry.replace(0, 4, "HvLE");
    std::memcpy(entry.data() + 8, fields + 1, 16);
    const uint32_t page[2] = {0, static_cast<uint32_t>(bins.size())};
    entry.append(reinterpret_cast<const char*>(page), 8);
    entry += bins;
    entry.resize((entry.size() + 511) / 512 * 512, '\0');
    const uint32_t size = static_cast<uint32_t>(entry.size());
    std::memcpy(entry.data() + 4, &size, 4);
    const uint64_t hash1 =
        platform::Marvin32(std::string_view(entry).substr(40), platform::kHiveLogSeed);
    std::memcpy(entry.data() + 24, &hash1, 8);
    const uint64_t hash2 =
        platform::Marvin32(std::string_view(entry).substr(0, 32), platform::kHiveLogSeed);
    std::memcpy(entry.data() + 32, &hash2, 8);
    log += entry;
  }
  return log;
}

std::string DirtyHive(uint32_t primary, uint32_t secondary, const char16_t* key) {
  platform::HiveWriter::Options options;
  options.sequence = primary;
  platform::HiveWriter writer(options);
  writer.AddKey(writer.Root(), key);
  std::string bytes = writer.Build();
  std::memcpy(bytes.data() + 8, &secondary, 4);
  const uint32_t checksum = platform::HiveHeaderChecksum(bytes);
  std::memcpy(bytes.data() + 508, &checksum, 4);
  return bytes;
}

std::string FirstKey(const std::string& bytes) {
  const auto hive = Hive::FromBytes(bytes, "h");
  std::vector<Cell> cells;
  hive->Subkeys(*hive->Key(hive->Root()), cells);
  return cells.empty() ? "" : platform::Utf16ToUtf8(hive->Key(cells[0])->name.Utf16());
}

TEST(HiveLog, AnEntryIsAppliedOnlyWhenWholeAndInSequence) {
  const std::string dirty = DirtyHive(8, 7, u"Before");
  platform::HiveWriter after_writer;
  after_writer.AddKey(after_writer.Root(), u"After");
  after_writer.AddKey(after_writer.Root(), u"AndMore");
  const std::string after = after_writer.Build();

  struct Case {
    const char* name;
    std::string log;
    const char* first_key;  // nullptr: nothing replayed
  };
  std::string torn = NewFormatLog(after, 8);
  torn[600] ^= 1;  // a byte of the page data: hash-1 no longer matches
  std::string bad_header_hash = NewFormatLog(after, 8);
  bad_header_hash[512 + 16] ^= 1;  // the bins size: hash-2 no longer matches
  std::string bad_checksum = NewFormatLog(after, 8);
  bad_checksum[100] ^= 1;
  for (const Case& c :
       {Case{"in sequence", NewFormatLog(after, 8), "After"},
        Case{"two entries", NewFormatLog(after, 8, 2), "After"},
        Case{"older entries only", NewFormatLog(after, 7), nullptr},
        Case{"a gap", NewFormatLog(after, 9), nullptr}, Case{"torn page", torn, nullptr},
        Case{"torn header", bad_header_hash, nullptr},
        Case{"log base block broken", bad_checksum, nullptr},
        Case{"no entries", NewFormatLog(after, 8).substr(0, 512), nullptr}}) {
    SCOPED_TRACE(c.name);
    std::string why;
    const auto replay = platform::ReplayHiveLogs(dirty, {{"x.LOG1", c.log}}, &why);
    if (c.first_key == nullptr) {
      EXPECT_FALSE(replay);
      EXPECT_FALSE(why.empty());
      continue;
    }
    ASSERT_TRUE(replay) << why;
    EXPECT_EQ(FirstKey(replay->bytes), c.first_key);
    EXPECT_FALSE(Hive::FromBytes(replay->bytes, "r")->IsDirty());
  }
  // A clean hive is never replayed over.
  std::string why;
  EXPECT_FALSE(platform::ReplayHiveLogs(DirtyHive(8, 8, u"Clean"),
                                        {{"x.LOG1", NewFormatLog(after, 8)}}, &why));
}

TEST(HiveLog, DirtyHiveWithoutLogsIsReadAsItStandsWithAWarning) {
  TempDir dir;
  const std::string path = dir.File("SYSTEM");
  WriteFile(path, DirtyHive(5, 4, u"Key"));
  std::vector<std::string> warnings;
  const auto hive = platform::OpenHiveWithLogs(
      path, true, [&](const std::string& line) { warnings.push_back(line); });
  EXPECT_EQ(FirstKey(std::string(hive->Bytes())), "Key");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(path), std::string::npos);
  EXPECT_NE(warnings[0].find("no transaction log"), std::string::npos) << warnings[0];

  // With its log beside it (any case of the name), it is replayed quietly.
  platform::HiveWriter after_writer;
  after_writer.AddKey(after_writer.Root(), u"Replayed");
  WriteFile(dir.File("system.log1"), NewFormatLog(after_writer.Build(), 5));
  warnings.clear();
  const auto replayed = platform::OpenHiveWithLogs(
      path, true, [&](const std::string& line) { warnings.push_back(line); });
  EXPECT_EQ(FirstKey(std::string(replayed->Bytes())), "Replayed");
  EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace tarnscan::testing

namespace tarnscan::testing {
namespace {

// The fuzzer's seed of a dirty hive with its log behind it (written by
// fuzz/corpus/hive/make.sh through hivex and Python's Marvin32) replays
// here too: a second, independent writer of the log format.
TEST(HiveLog, ReplaysTheLogOfTheFuzzSeed) {
  const std::string seed =
      ReadFile(std::string(TARNSCAN_SOURCE_DIR) + "/fuzz/corpus/hive/dirty_with_log.hive");
  if (seed.empty()) GTEST_SKIP() << "no fuzz seed";
  const auto header = platform::ParseHiveHeader(seed);
  ASSERT_TRUE(header);
  const size_t hive_size = platform::kHiveBaseBlockSize + header->bins_size;
  std::string why;
  const auto replay = platform::ReplayHiveLogs(std::string_view(seed).substr(0, hive_size),
                                               {{"seed.LOG1", seed.substr(hive_size)}}, &why);
  ASSERT_TRUE(replay) << why;
  EXPECT_EQ(replay->entries, 1u);
  const auto code_page = platform::MakeCodePage(1252);
  platform::HiveRegistry registry(*code_page);
  registry.Mount(platform::RootKey::kLocalMachine, "SOFTWARE",
                 Hive::FromBytes(replay->bytes, "seed"));
  const auto run =
      registry.Open(platform::RootKey::kLocalMachine,
                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", platform::Access::kRead);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->Value("ctfmon")->data, std::string("C:\\WINDOWS\\system32\\ctfmon.exe") + '\0');
  EXPECT_EQ(run->Value("big")->data.size(), 256u * 80u);
}

}  // namespace
}  // namespace tarnscan::testing

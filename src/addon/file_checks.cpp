#include "addon/file_checks.h"

#include <algorithm>
#include <exception>

#include "fileinfo/md5.h"
#include "fileinfo/version_info.h"
#include "folders/file_line.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace tarnscan {
namespace {

using platform::FileEntry;

// Deeper than any real tree; ends a walk through a looping image.
constexpr int kMaxDepth = 128;
constexpr int64_t kTicksPerDay = 864000000000LL;  // 100-ns ticks
// More days than lie between 1601 and now: every file is newer.
constexpr int32_t kAllOfTime = 1000000;

// The paging files are in use while Windows runs and say nothing about
// adware: never examined, never listed.
bool IsSwapFile(std::string_view name) {
  const std::string upper = platform::UpperCase(name);
  return upper == "WIN386.SWP" || upper == "PAGEFILE.SYS";
}

// The file's local write time, at the two-second resolution of a search
// record, against "now" minus whole days of the scanned system's clock. A
// file written exactly at that point is not recent.
bool WrittenWithinDays(const ScanContext& context, const FileEntry& entry, int32_t days) {
  const auto& clock = *context.system.clock;
  const auto written = platform::TruncateToTwoSeconds(clock.ToLocal(entry.last_write));
  const int64_t span = static_cast<int64_t>(std::min(days, kAllOfTime)) * kTicksPerDay;
  const int64_t since = platform::CalendarToFileTime(clock.Now()) - span;
  return platform::CalendarToFileTime(written) > since;
}

// Age, size, digest, in that order: the digest reads the whole file, so
// only files that passed the cheaper tests pay for it. Throws when the
// file cannot be examined.
bool PassesTests(const ScanContext& context, const FileCheck& check, const std::string& path,
                 const FileEntry& entry) {
  if (check.days > 0 && !WrittenWithinDays(context, entry, check.days)) return false;
  if (check.size > 0 && entry.size != static_cast<uint64_t>(check.size)) return false;
  if (!check.digest.empty() &&
      MD5Text(FileMD5(*context.system.files, path)) != platform::UpperCase(check.digest)) {
    return false;
  }
  return true;
}

bool Matches(const ScanContext& context, const FileCheck& check, const std::string& path,
             const FileEntry& entry) {
  try {
    return PassesTests(context, check, path, entry);
  } catch (const std::exception&) {
    // A file held open by another program cannot be digested: it is not
    // listed, and the search goes on.
    return false;
  }
}

std::string NotFoundLine(const FileCheck& check, const std::string& dir) {
  std::string line = "  File " + dir + check.mask;
  if (check.days > 0) line += " for today - " + std::to_string(check.days) + " days";
  if (check.size > 0) line += " with a size of " + std::to_string(check.size) + " bytes";
  if (!check.digest.empty()) line += " with an MD5 of " + check.digest;
  return line + " was not found!";
}

FileFactsCache& FactsCache(ScanContext& context) {
  if (!context.file_facts) {
    context.file_facts =
        std::make_shared<FileFactsCache>(*context.system.facts, *context.system.files);
  }
  return *context.file_facts;
}

// Lists the matches of `dir` itself; true when there was one.
bool ListMatches(ScanContext& context, const FileCheck& check, const std::string& dir) {
  // A mask naming a folder ("system32\*.dll") searches that folder, as
  // FindFirstFile does with the joined path; the line, the company and the
  // digest then take the path where the file is (Dir and the bare name
  // would name a file that is not there).
  const auto [mask_folder, name_mask] = platform::SplitPath(check.mask);
  const std::string search_dir =
      mask_folder.empty() ? dir : WithBackslash(dir + std::string(mask_folder));
  bool found = false;
  for (const FileEntry& entry : context.system.files->List(search_dir, name_mask)) {
    if (entry.IsDirectory() || (entry.attributes & platform::kAttrVolume) != 0) continue;
    if (IsSwapFile(entry.name)) continue;
    const std::string path = search_dir + entry.name;
    if (!Matches(context, check, path, entry)) continue;
    found = true;
    context.log.Add("  " + path + FileWithCompany(FactsCache(context), path));
  }
  return found;
}

void CheckFolder(ScanContext& context, const FileCheck& check, std::string_view folder, int depth) {
  const std::string dir = WithBackslash(folder);
  const bool found = ListMatches(context, check, dir);
  if (check.subfolders && depth < kMaxDepth) {
    for (const FileEntry& entry : context.system.files->List(dir, "*.*")) {
      // Only real folders: a file has nothing below it, and links to
      // folders are not followed, so junction loops cannot recur.
      if (entry.IsDirectory() && (entry.attributes & platform::kAttrReparsePoint) == 0) {
        CheckFolder(context, check, dir + entry.name, depth + 1);
      }
    }
  }
  if (!found && platform::UpperCase(check.option) != "SUBFOLDERS") {
    context.log.Add(NotFoundLine(check, dir));
  }
}

}  // namespace

void CheckFiles(ScanContext& context, const FileCheck& check) {
  CheckFolder(context, check, check.folder, 0);
}

}  // namespace tarnscan

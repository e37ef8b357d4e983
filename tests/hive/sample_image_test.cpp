// The bundled sample system scanned twice through the command: once as the
// system folder it is (.reg files, files.tsv) and once as the image at
// rest that Windows would keep of the same system (hive files, file times
// and attribute words on the files themselves). The two reports must be
// the same bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hive/hivex_oracle.h"
#include "hive/memory_hive.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file.h"
#include "platform/memory/system_folder.h"
#include "platform/offline/image_system.h"
#include "platform/text.h"
#include "support/cli_runner.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;
using platform::RootKey;

constexpr char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1003";
// Windows keeps the profile path unexpanded.
constexpr char kUserProfile[] = "%SystemDrive%\\Documents and Settings\\Owner";
// Files and folders the sample's files.tsv does not name: as the sample
// gives them, archive (files) or nothing (folders), at one fixed time.
constexpr char kUnlistedTime[] = "2008-04-14 12:00:00";

// Where Windows keeps a key: which hive, and the path inside it. The
// first entry whose prefix matches wins.
struct HivePlace {
  RootKey root;
  std::string_view prefix;
  std::string_view hive;
  std::string_view stored_as;  // what replaces the prefix inside the hive
};
constexpr HivePlace kPlaces[] = {
    {RootKey::kLocalMachine, "SOFTWARE", "SOFTWARE", ""},
    // CurrentControlSet is a link the kernel makes at boot; the hive holds
    // the numbered set that SYSTEM\Select\Current names.
    {RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet", "SYSTEM", "ControlSet001"},
    {RootKey::kLocalMachine, "SYSTEM", "SYSTEM", ""},
    // The user's classes live in their own hive.
    {RootKey::kCurrentUser, "Software\\Classes", "UsrClass", ""},
    {RootKey::kCurrentUser, "", "NTUSER", ""},
    {RootKey::kUsers, ".DEFAULT", "DEFAULT", ""},
};

// Host files of the hives, below the image root.
const std::vector<std::pair<std::string, std::string>>& HiveFiles() {
  static const std::vector<std::pair<std::string, std::string>> files = {
      {"SOFTWARE", "WINDOWS/system32/config/software"},
      {"SYSTEM", "WINDOWS/system32/config/system"},
      {"DEFAULT", "WINDOWS/system32/config/default"},
      {"NTUSER", "Documents and Settings/Owner/NTUSER.DAT"},
      {"UsrClass",
       "Documents and Settings/Owner/Local Settings/Application Data/Microsoft/Windows/"
       "UsrClass.dat"},
  };
  return files;
}

// The hive and the path inside it of a key; nullopt for a key no hive
// holds (the image could not express it).
std::optional<std::pair<std::string, std::string>> PlaceOf(RootKey root, std::string_view path) {
  for (const auto& place : kPlaces) {
    if (place.root != root) continue;
    std::string_view rest = path;
    if (!place.prefix.empty()) {
      if (!platform::EqualsIgnoreCase(path.substr(0, place.prefix.size()), place.prefix)) continue;
      rest.remove_prefix(place.prefix.size());
      if (!rest.empty() && rest.front() != '\\') continue;
    }
    if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
    std::string inside(place.stored_as);
    if (!inside.empty() && !rest.empty()) inside += '\\';
    inside += rest;
    return std::make_pair(std::string(place.hive), inside);
  }
  return std::nullopt;
}

std::string HexList(std::string_view bytes) {
  std::string out;
  char hex[4];
  for (unsigned char c : bytes) {
    std::snprintf(hex, sizeof hex, "%s%02x", out.empty() ? "" : ",", c);
    out += hex;
  }
  return out;
}

// The profile list entry that lets the image find the user's hive; a
// system folder names its user otherwise, so both sides get it.
std::string ProfileListReg() {
  return std::string("REGEDIT4\r\n\r\n") +
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" +
         kUserSid +
         "]\r\n\"ProfileImagePath\"=hex(2):" + HexList(std::string(kUserProfile) + '\0') + "\r\n";
}

std::vector<platform::RegFileOp> ParseRegistry(const fs::path& dir,
                                               const platform::CodePage& code_page) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".reg") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<platform::RegFileOp> ops;
  for (const auto& file : files) {
    auto parsed =
        platform::ParseRegFile(ReadFile(file.string()), file.filename().string(), code_page);
    ops.insert(ops.end(), parsed.begin(), parsed.end());
  }
  return ops;
}

// The .reg files of a system folder read as it reads them: the code page
// is the one the registry itself names.
std::vector<platform::RegFileOp> ReadRegistry(const fs::path& dir,
                                              std::unique_ptr<platform::CodePage>& code_page) {
  code_page = platform::MakeCodePage(1252);
  auto ops = ParseRegistry(dir, *code_page);
  platform::MemoryRegistry registry;
  platform::ApplyRegFileOps(ops, registry);
  const auto key =
      registry.Open(RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                    platform::Access::kRead);
  const auto acp = key ? key->Value("ACP") : std::nullopt;
  const int id = acp ? std::atoi(acp->data.c_str()) : 0;
  if (id > 0 && id != code_page->Id()) {
    code_page = platform::MakeCodePage(id);
    ops = ParseRegistry(dir, *code_page);
  }
  return ops;
}

// Writes the hives of the registry the .reg files describe below `root`.
void WriteHives(const fs::path& registry_dir, const fs::path& root) {
  std::unique_ptr<platform::CodePage> code_page;
  const auto ops = ReadRegistry(registry_dir, code_page);
  std::map<std::string, platform::MemoryRegistry> hives;
  for (auto op : ops) {
    const auto place = PlaceOf(op.root, op.key_path);
    if (!place) {
      throw std::runtime_error("no hive holds " + std::string(platform::RootKeyName(op.root)) +
                               "\\" + op.key_path + " (line " + std::to_string(op.line) + ")");
    }
    op.root = RootKey::kLocalMachine;
    op.key_path = place->second;
    platform::ApplyRegFileOps({op}, hives[place->first]);
  }
  auto& system = hives["SYSTEM"];
  for (const char* name : {"Current", "Default", "LastKnownGood"}) {
    system.SetDword(RootKey::kLocalMachine, "Select", name, 1);
  }
  for (const auto& [hive, file] : HiveFiles()) {
    const auto* tree = hives[hive].Find(RootKey::kLocalMachine, "");
    WriteHiveFromMemory(*tree, *code_page, (root / file).string());
  }
}

struct FileFacts {
  std::string attributes;  // letters of RHSA, or "-"
  std::string time;        // local time, YYYY-MM-DD HH:MM:SS
};

std::map<std::string, FileFacts> ReadFilesTsv(const fs::path& path) {
  std::map<std::string, FileFacts> facts;
  const std::string text = ReadFile(path.string());
  for (auto line : platform::Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto fields = platform::Split(line, '\t');
    if (fields.size() != 3) throw std::runtime_error("bad files.tsv line: " + std::string(line));
    facts[std::string(fields[0])] = {std::string(fields[1]), std::string(fields[2])};
  }
  return facts;
}

uint32_t AttributeWord(std::string_view letters, bool folder) {
  static const std::map<char, uint32_t> kBits = {{'R', platform::kAttrReadOnly},
                                                 {'H', platform::kAttrHidden},
                                                 {'S', platform::kAttrSystem},
                                                 {'A', platform::kAttrArchive}};
  uint32_t word = folder ? uint32_t{platform::kAttrDirectory} : 0u;
  for (char c : letters) {
    if (const auto bit = kBits.find(c); bit != kBits.end()) word |= bit->second;
  }
  return word;
}

// The time as the image holds it: it has no time zone, so local is UTC.
struct timespec HostTime(const std::string& local) {
  const auto parsed = platform::ParseLocalTime(local);
  if (!parsed) throw std::runtime_error("bad time " + local);
  constexpr int64_t kUnixEpoch = 116444736000000000LL;
  return {static_cast<time_t>((platform::CalendarToFileTime(*parsed) - kUnixEpoch) / 10000000), 0};
}

// Gives every file and folder of the drive the attributes and last-write
// time of the sample (or the unlisted defaults) in both forms: as Samba's
// attribute word and the host's modification time for the image, and as
// a complete files.tsv for the system folder. False when the host file
// system keeps no user extended attributes.
bool ApplyFileFacts(const fs::path& system_dir, const std::map<std::string, FileFacts>& sample) {
  std::string table = "# path\tattributes\tlast write (local time)\n";
  std::vector<fs::path> entries;
  for (const auto& entry : fs::recursive_directory_iterator(system_dir / "drive_c")) {
    entries.push_back(entry.path());
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& path : entries) {
    const bool folder = fs::is_directory(path);
    const std::string relative = fs::relative(path, system_dir).generic_string();
    const auto listed = sample.find(relative);
    const FileFacts facts =
        listed != sample.end() ? listed->second : FileFacts{folder ? "-" : "A", kUnlistedTime};
    char word[16];
    std::snprintf(word, sizeof word, "0x%x", AttributeWord(facts.attributes, folder));
    if (setxattr(path.c_str(), "user.DOSATTRIB", word, std::strlen(word), 0) != 0) {
      if (errno == ENOTSUP || errno == EPERM) return false;
      throw std::runtime_error("setxattr " + path.string() + ": " + std::strerror(errno));
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, HostTime(facts.time)};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
      throw std::runtime_error("utimensat " + path.string() + ": " + std::strerror(errno));
    }
    table += relative + "\t" + facts.attributes + "\t" + facts.time + "\n";
  }
  WriteFile((system_dir / "files.tsv").string(), table);
  return true;
}

using Outcome = testing::CliOutcome;
using testing::RunCli;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (auto line : platform::Split(text, '\n')) lines.emplace_back(line);
  return lines;
}

// The sample converted in a temporary folder: the system folder
// system/ (its .reg files, a complete files.tsv) whose drive_c is also
// the image root, so both forms see the same files, hive files included.
class SampleImage : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HIVEX();
    const fs::path sample = fs::path(TARNSCAN_SAMPLES_DIR) / "xp-home";
    system_dir_ = dir_.File("system");
    root_ = system_dir_ / "drive_c";
    fs::create_directories(system_dir_ / "registry");
    fs::copy(sample / "drive_c", root_, fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(sample / "registry")) {
      fs::copy_file(entry.path(), system_dir_ / "registry" / entry.path().filename());
    }
    WriteFile((system_dir_ / "registry" / "90-profile-list.reg").string(), ProfileListReg());
    WriteHives(system_dir_ / "registry", root_);
    if (!ApplyFileFacts(system_dir_, ReadFilesTsv(sample / "files.tsv"))) {
      GTEST_SKIP() << "the temporary folder's file system keeps no user extended attributes "
                      "(user.DOSATTRIB), which the image's file attributes come from";
    }
  }

  TempDir dir_;
  fs::path system_dir_;
  fs::path root_;
};

TEST_F(SampleImage, BothFormsGiveTheSameReportThroughTheCommand) {
  ASSERT_TRUE(fs::exists(TARNSCAN_CLI_PATH)) << "build the tarnscan target: " << TARNSCAN_CLI_PATH;
  const std::string common =
      " --patterns " + Quoted(std::string(TARNSCAN_SAMPLES_DIR) + "/patterns.txt") + " --plugins " +
      Quoted(std::string(TARNSCAN_SAMPLES_DIR) + "/plugins") +
      " --addon spyware-check.def --as-of \"2026-01-02 03:04:05\"";
  const Outcome folder_run = RunCli("--system " + Quoted(system_dir_.string()) + common +
                                    " --quiet --out " + Quoted(dir_.File("system.txt")));
  ASSERT_EQ(folder_run.exit_code, 0) << folder_run.output;
  const Outcome image_run = RunCli("--image " + Quoted(root_.string()) + common + " --out " +
                                   Quoted(dir_.File("image.txt")));
  ASSERT_EQ(image_run.exit_code, 0) << image_run.output;
  // The user comes from the profile list, its path expanded.
  EXPECT_NE(image_run.output.find("user: Owner (C:\\Documents and Settings\\Owner, NTUSER.DAT"),
            std::string::npos)
      << image_run.output;

  const std::string folder_report = ReadFile(dir_.File("system.txt"));
  const std::string image_report = ReadFile(dir_.File("image.txt"));
  // What each part of the conversion carries shows in the report, so two
  // reports that lost the same thing do not pass as equal.
  const std::vector<std::string> carried = {
      // attribute words and times of listed files
      "20/12/2025 21:14:06      HS 1536       C:\\WINDOWS\\system32\\msxtb.dll (Hotbar.com, Inc.)",
      // a file of the user's Startup folder
      "20/12/2025 21:14:12         104        C:\\Documents and Settings\\Owner\\Start Menu\\"
      "Programs\\Startup\\BrowserAid Update.bat ()",
      // HKCU from NTUSER.DAT
      "  Hotbar\\\\ShowBar - 1",
      // HKCU\Software\Classes from UsrClass.dat
      "(SearchBar Ltd)(HKCU CLSID)",
      // a machine's value under a class key the user also holds
      "{B7A3C1E0-5D2F-4A19-9E6B-3C8D21F0A4E7}\\InprocServer32\\\\ThreadingModel - Apartment",
      // CurrentControlSet through Select\Current
      "  \\000000000003\\\\PackedCatalogItem - C:\\WINDOWS\\system32\\bxlsp.dll ()",
  };
  for (const auto& line : carried) {
    EXPECT_NE(image_report.find(line), std::string::npos) << "missing: " << line;
  }
  EXPECT_EQ(Lines(image_report), Lines(folder_report));
  EXPECT_EQ(image_report, folder_report);
}

// Every difference between two registry trees, as "path: what differs".
class RegistryDiff {
 public:
  RegistryDiff(const platform::Registry& left, const platform::Registry& right)
      : left_(left), right_(right) {}

  void Compare(RootKey root, const std::string& path, int depth = 0) {
    const auto a = left_.Open(root, path, platform::Access::kRead);
    const auto b = right_.Open(root, path, platform::Access::kRead);
    const std::string where = std::string(platform::RootKeyName(root)) + "\\" + path;
    if (!a || !b) {
      if (a || b) Differ(where + ": opens on one side only");
      return;
    }
    ++keys;
    if (a->ValueNames() != b->ValueNames()) Differ(where + ": value names differ");
    for (const auto& name : a->ValueNames()) {
      const auto x = a->Value(name);
      const auto y = b->Value(name);
      if (!x || !y || x->type != y->type || x->data != y->data) {
        Differ(where + " value '" + name + "' differs");
      }
    }
    const auto subkeys = a->SubKeyNames();
    if (subkeys != b->SubKeyNames()) return Differ(where + ": subkey names differ");
    if (depth >= 64) return Differ(where + ": deeper than the sample goes");
    for (const auto& name : subkeys) {
      Compare(root, path.empty() ? name : path + "\\" + name, depth + 1);
    }
  }

  std::vector<std::string> differences;
  size_t keys = 0;

 private:
  void Differ(std::string what) {
    if (differences.size() < 50) differences.push_back(std::move(what));
  }

  const platform::Registry& left_;
  const platform::Registry& right_;
};

std::vector<std::string> CompareFolders(const platform::FileSystem& left,
                                        const platform::FileSystem& right,
                                        const std::string& folder, size_t& entries, int depth = 0) {
  std::vector<std::string> differences;
  const auto a = left.List(folder, "*.*");
  const auto b = right.List(folder, "*.*");
  if (a.size() != b.size()) {
    return {folder + ": " + std::to_string(a.size()) + " vs " + std::to_string(b.size()) +
            " entries"};
  }
  for (size_t i = 0; i < a.size(); ++i) {
    ++entries;
    const std::string path = folder + "\\" + a[i].name;
    if (a[i].name != b[i].name || a[i].attributes != b[i].attributes ||
        a[i].last_write != b[i].last_write || a[i].size != b[i].size) {
      differences.push_back(path + " differs from " + b[i].name);
      continue;
    }
    if (a[i].IsDirectory() && depth < 32) {
      auto below = CompareFolders(left, right, path, entries, depth + 1);
      differences.insert(differences.end(), below.begin(), below.end());
    }
  }
  return differences;
}

// Beyond what one report shows: every key and value the scanner can reach
// below the roots Windows builds from the hives, and every file entry.
TEST_F(SampleImage, EveryKeyValueAndFileReadsTheSameThroughBothBackends) {
  const platform::LocalTime as_of{2026, 1, 2, 3, 4, 5, 0};
  platform::SystemFolderOptions folder_options;
  folder_options.as_of = as_of;
  const auto folder = platform::LoadSystemFolder(system_dir_.string(), folder_options);
  platform::ImageOptions image_options;
  image_options.root = root_.string();
  image_options.as_of = as_of;
  std::vector<std::string> messages;
  image_options.message = [&](const std::string& line) { messages.push_back(line); };
  const auto image = platform::LoadImageSystem(image_options);
  ASSERT_EQ(messages.size(), 1u);  // the user chosen, no damage
  EXPECT_EQ(image.code_page->Id(), folder.code_page->Id());
  EXPECT_EQ(image.date_format.short_date, folder.date_format.short_date);
  EXPECT_EQ(image.date_format.long_time, folder.date_format.long_time);

  RegistryDiff diff(*image.registry, *folder.registry);
  // HKLM\SYSTEM itself differs by what a .reg file cannot express: the
  // numbered control set and Select beside the CurrentControlSet link.
  // HKEY_USERS too: the image names the user by SID (and its classes
  // hive), a system folder by profile name.
  diff.Compare(RootKey::kLocalMachine, "SOFTWARE");
  diff.Compare(RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet");
  diff.Compare(RootKey::kCurrentUser, "");
  diff.Compare(RootKey::kClassesRoot, "");
  EXPECT_GT(diff.keys, 300u);
  EXPECT_EQ(diff.differences, std::vector<std::string>{});
  // Non-ASCII text survives the hives in the code page.
  const auto international = image.registry->Open(
      RootKey::kCurrentUser, "Control Panel\\International", platform::Access::kRead);
  ASSERT_NE(international, nullptr);
  const auto currency = international->Value("sCurrency");
  ASSERT_TRUE(currency);
  EXPECT_EQ(currency->data, std::string("\xA3\0", 2));

  size_t entries = 0;
  EXPECT_EQ(CompareFolders(*image.files, *folder.files, "C:", entries), std::vector<std::string>{});
  EXPECT_GT(entries, 60u);
}

}  // namespace
}  // namespace tarnscan::testing

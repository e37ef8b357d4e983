// The Winsock2 section against the catalogs of real SYSTEM hives: the
// catalog entries are read out of the hives with hivexsh, planted in the
// registry and scanned; the paths must be those recorded in
// realdata/expected/hives/*.winsock.tsv, stale bytes after the path's end
// included in the real items.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "registry/network_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

namespace fs = std::filesystem;

const std::string kRealData = TARNSCAN_REALDATA_DIR;
const std::string kHiveParameters = "ControlSet001\\Services\\WinSock2\\Parameters\\";
const std::string kParameters = "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\";

std::optional<std::string> RunCommand(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

bool HasTool(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null 2>&1").has_value();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct RecordedEntry {
  std::string entry;
  std::string path;
  bool stale_tail = false;  // the item holds bytes after the path's end
};

// catalog name -> entries, in file order.
std::map<std::string, std::vector<RecordedEntry>> ReadRecordedCatalogs(const std::string& tsv) {
  std::map<std::string, std::vector<RecordedEntry>> catalogs;
  std::ifstream in(tsv);
  std::string catalog;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# Protocol_Catalog9", 0) == 0) catalog = "Protocol_Catalog9";
    if (line.rfind("# NameSpace_Catalog5", 0) == 0) catalog = "NameSpace_Catalog5";
    if (line.empty() || line[0] == '#' || catalog.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() < 2) continue;
    const bool stale = fields.size() >= 4 && fields[3].rfind("slack=", 0) == 0;
    catalogs[catalog].push_back({fields[0], fields[1], stale});
  }
  return catalogs;
}

// The text of a hivexsh string: "..." with \\ and \" escaped.
std::string Unescape(std::string_view quoted) {
  std::string text;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 2 < quoted.size()) ++i;
    text += quoted[i];
  }
  return text;
}

std::string HexBytes(std::string_view list) {
  std::string bytes;
  for (size_t i = 0; i + 1 < list.size(); i += 3) {
    bytes += static_cast<char>(std::stoi(std::string(list.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

class Winsock2RealData : public RegistryScanTest {
 protected:
  void SetUp() override {
    if (!HasTool("xz") || !HasTool("hivexsh")) GTEST_SKIP() << "needs xz and hivexsh";
    work_ = fs::temp_directory_path() / ("tarnscan-winsock-" + std::to_string(getpid()));
    fs::create_directories(work_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!work_.empty()) fs::remove_all(work_, ignored);
  }

  std::optional<std::string> Hivexsh(const std::string& hive, const std::string& script) {
    const std::string script_file = (work_ / "script").string();
    std::ofstream(script_file) << script;
    return RunCommand("hivexsh -f " + Quoted(script_file) + " " + Quoted(hive) + " 2>/dev/null");
  }

  // Plants the library value of each entry of one catalog as the hive
  // holds it: each entry has exactly one, so the values listed in entry
  // order belong to the entries in that order. Returns the raw
  // PackedCatalogItem of each entry (empty for LibraryPath entries).
  std::vector<std::string> PlantCatalog(const std::string& hive, const std::string& catalog,
                                        const std::vector<RecordedEntry>& entries) {
    std::string script;
    for (const auto& row : entries) {
      script +=
          "cd \\" + kHiveParameters + catalog + "\\Catalog_Entries\\" + row.entry + "\nlsval\n";
    }
    const auto listing = Hivexsh(hive, script);
    EXPECT_TRUE(listing.has_value()) << catalog;
    std::vector<std::string> items;
    size_t next = 0;
    auto& registry = scan.test_system.registry;
    const auto root = platform::RootKey::kLocalMachine;
    for (const auto& line : SplitLines(listing.value_or(""))) {
      const std::string packed_lead = "\"PackedCatalogItem\"=hex(3):";
      const std::string path_lead = "\"LibraryPath\"=";
      const bool packed = line.rfind(packed_lead, 0) == 0;
      if (!packed && line.rfind(path_lead, 0) != 0) continue;
      if (next >= entries.size()) {
        ADD_FAILURE() << catalog << ": more library values than entries";
        break;
      }
      const std::string key = kParameters + catalog + "\\Catalog_Entries\\" + entries[next++].entry;
      if (packed) {
        items.push_back(HexBytes(std::string_view(line).substr(packed_lead.size())));
        registry.SetValue(root, key, "PackedCatalogItem", {platform::kRegBinary, items.back()});
        continue;
      }
      std::string_view rest = std::string_view(line).substr(path_lead.size());
      uint32_t type = platform::kRegSz;
      if (rest.rfind("str(2):", 0) == 0) {
        type = platform::kRegExpandSz;
        rest.remove_prefix(7);
      }
      registry.SetString(root, key, "LibraryPath", Unescape(rest), type);
      items.emplace_back();
    }
    EXPECT_EQ(next, entries.size()) << catalog << ": entries without a library value";
    return items;
  }

  void CheckHive(const std::string& stem, const std::string& compressed) {
    const std::string tsv = kRealData + "/expected/hives/" + stem + ".winsock.tsv";
    const std::string source = kRealData + "/hives/" + compressed;
    if (!fs::exists(tsv) || !fs::exists(source))
      GTEST_SKIP() << "missing " << tsv << " or " << source;
    const std::string hive = (work_ / stem).string();
    ASSERT_TRUE(RunCommand("xz -dc " + Quoted(source) + " > " + Quoted(hive)).has_value());

    const auto recorded = ReadRecordedCatalogs(tsv);
    ASSERT_EQ(recorded.size(), 2u) << tsv;
    Lines expected;
    for (const auto& [catalog, entries] : recorded) {  // NameSpace before Protocol
      const auto names =
          Hivexsh(hive, "cd " + kHiveParameters + catalog + "\\Catalog_Entries\nls\n");
      ASSERT_TRUE(names.has_value()) << catalog;
      ASSERT_EQ(SplitLines(*names).size(), entries.size()) << catalog;
      const bool packed = catalog == "Protocol_Catalog9";
      expected.push_back("[HKEY_LOCAL_MACHINE\\" + kParameters + catalog + "\\Catalog_Entries]");
      const auto items = PlantCatalog(hive, catalog, entries);
      ASSERT_EQ(items.size(), entries.size()) << catalog;
      for (size_t i = 0; i < entries.size(); ++i) {
        const auto& row = entries[i];
        if (packed) {
          const std::string& item = items[i];
          EXPECT_EQ(DecodePackedCatalogPath(item), row.path) << stem << " " << row.entry;
          const size_t end = item.find('\0');
          const bool stale = end != std::string::npos &&
                             item.find_first_not_of('\0', end) < std::min<size_t>(item.size(), 260);
          EXPECT_EQ(stale, row.stale_tail) << stem << " " << row.entry;
        }
        expected.push_back("  \\" + row.entry +
                           (packed ? "\\\\PackedCatalogItem - " : "\\\\LibraryPath - ") + row.path +
                           " ()");
      }
    }
    expected.push_back("");
    EXPECT_EQ(Run(ScanWinsock2Catalogs), expected);
  }

  fs::path work_;
};

TEST_F(Winsock2RealData, Windows7WithStaleVmwarePathsAfterTheLibrary) {
  CheckHive("win7_SYSTEM-WKS-WIN732BITA", "win7/SYSTEM-WKS-WIN732BITA.xz");
}

TEST_F(Winsock2RealData, Windows8) { CheckHive("win8_SYSTEM-SENSEI", "win8/SYSTEM-SENSEI.xz"); }

TEST_F(Winsock2RealData, Windows10) { CheckHive("win10_SYSTEM_B", "win10/SYSTEM_B.xz"); }

TEST_F(Winsock2RealData, Windows10Version1709) {
  CheckHive("win10_SYSTEM_WIN_10_1709", "win10/SYSTEM_WIN_10_1709.xz");
}

}  // namespace
}  // namespace tarnscan::testing

// The version facts of real Windows binaries (the MinGW runtime DLLs and
// Wine's PE builds) against what pefile, an independent reader, reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fileinfo/version_info.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/offline/file_facts_offline.h"

namespace tarnscan {
namespace {

namespace fs = std::filesystem;

constexpr char kPython[] = "/usr/bin/python3";

std::vector<std::string> RealPeFiles() {
  std::vector<std::string> found;
  std::error_code error;
  for (const char* root : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/lib/gcc/i686-w64-mingw32",
                           "/usr/x86_64-w64-mingw32", "/usr/i686-w64-mingw32"}) {
    if (!fs::is_directory(root, error)) continue;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file(error) && it->path().extension() == ".dll") {
        found.push_back(it->path().string());
      }
    }
  }
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                             "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                             "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
    if (!fs::is_directory(folder, error)) continue;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      if (entry.is_regular_file(error)) found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool PefileAvailable() {
  const std::string command = std::string(kPython) + " -c 'import pefile' 2>/dev/null";
  return access(kPython, X_OK) == 0 && std::system(command.c_str()) == 0;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

struct PefileFacts {
  std::string path;
  bool has_version = false;
  std::optional<std::vector<uint32_t>> fixed;
  std::optional<std::string> translation;
  // UTF-8; nullopt when the string is absent.
  std::optional<std::string> company, file_version, product_name;
};

std::optional<std::string> Text(const std::string& field) {
  if (field == "-") return std::nullopt;
  return FromHex(field);
}

std::vector<PefileFacts> AskPefile(const std::vector<std::string>& files) {
  const fs::path list = fs::temp_directory_path() / ("tarnscan-pe-" + std::to_string(getpid()));
  {
    std::ofstream out(list);
    for (const auto& file : files) out << file << '\n';
  }
  const std::string script = std::string(TARNSCAN_SOURCE_DIR) + "/tests/fileinfo/pe_facts.py";
  const std::string command = std::string(kPython) + " '" + script + "' < '" + list.string() + "'";
  std::vector<PefileFacts> result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::string line;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
    line += buffer;
    if (line.empty() || line.back() != '\n') continue;
    line.pop_back();
    const auto fields = SplitTabs(line);
    line.clear();
    PefileFacts facts;
    facts.path = fields.at(0);
    facts.has_version = fields.at(1) == "version";
    if (facts.has_version) {
      if (fields.at(2) != "-") {
        std::vector<uint32_t> words;
        std::stringstream stream(fields[2]);
        std::string word;
        while (std::getline(stream, word, ',')) words.push_back(std::stoul(word, nullptr, 16));
        facts.fixed = words;
      }
      if (fields.at(3) != "-") facts.translation = fields[3];
      facts.company = Text(fields.at(4));
      facts.file_version = Text(fields.at(5));
      facts.product_name = Text(fields.at(6));
    }
    result.push_back(std::move(facts));
  }
  pclose(pipe);
  fs::remove(list);
  return result;
}

std::vector<uint32_t> Words(const platform::FixedFileInfo& f) {
  return {f.signature,       f.struc_version,      f.file_version_ms,
          f.file_version_ls, f.product_version_ms, f.product_version_ls,
          f.file_flags_mask, f.file_flags,         f.file_os,
          f.file_type,       f.file_subtype,       f.file_date_ms,
          f.file_date_ls};
}

TEST(RealFilesTest, VersionFactsAgreeWithPefile) {
  const auto files = RealPeFiles();
  if (files.empty()) GTEST_SKIP() << "no MinGW or Wine DLLs installed";
  if (!PefileAvailable()) GTEST_SKIP() << "python3-pefile is not installed";
  const auto expected = AskPefile(files);
  ASSERT_EQ(expected.size(), files.size());

  platform::MemoryFileSystem memory;
  platform::MemoryRegistry registry;
  const auto code_page = platform::MakeCodePage(1252);
  const platform::OfflineFileFacts facts(memory, registry, *code_page);
  const auto ansi = [&](const std::optional<std::string>& utf8) {
    return utf8 ? code_page->FromUtf16(platform::Utf8ToUtf16(*utf8)) : std::string();
  };

  size_t with_version = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const PefileFacts& want = expected[i];
    SCOPED_TRACE(want.path);
    const std::string path = "C:\\real\\" + std::to_string(i) + ".dll";
    memory.AddHostFile(path, want.path, fs::file_size(want.path));

    const auto data = facts.LoadVersion(path);
    if (!want.has_version) {
      EXPECT_EQ(data, nullptr);
      continue;
    }
    ++with_version;
    ASSERT_NE(data, nullptr);
    const bool valid_fixed = want.fixed.has_value();
    ASSERT_EQ(data->Fixed().has_value(), valid_fixed);
    if (!valid_fixed) {
      EXPECT_THROW(ReadFileVersionInfo(facts, path), VersionInfoError);
      continue;
    }
    EXPECT_EQ(Words(*data->Fixed()), *want.fixed);

    const TFileVersionInfo info = ReadFileVersionInfo(facts, path);
    EXPECT_EQ(info.ShellTypeName, "DLL File");
    EXPECT_EQ(info.CompanyName, ansi(want.company));
    EXPECT_EQ(info.FileVersion, ansi(want.file_version));
    EXPECT_EQ(info.ProductName, ansi(want.product_name));
    EXPECT_EQ(info.FileTypeText, FileTypeText(want.fixed->at(9), want.fixed->at(10)));
    const uint32_t flags = want.fixed->at(6) & want.fixed->at(7);
    EXPECT_EQ(info.IsDebug, (flags & 0x01) != 0);
    EXPECT_EQ(info.IsPreRelease, (flags & 0x02) != 0);
    EXPECT_EQ(info.IsPatched, (flags & 0x04) != 0);
    if (want.translation) {
      const auto translations = data->Translations();
      ASSERT_TRUE(translations.has_value());
      ASSERT_FALSE(translations->empty());
      char text[16];
      std::snprintf(text, sizeof text, "%04X%04X", translations->front() & 0xFFFF,
                    translations->front() >> 16);
      EXPECT_EQ(text, *want.translation);
    }
  }
  RecordProperty("files", static_cast<int>(files.size()));
  RecordProperty("files_with_version", static_cast<int>(with_version));
  if (with_version == 0) GTEST_SKIP() << "none of the installed DLLs has a version resource";
}

}  // namespace
}  // namespace tarnscan

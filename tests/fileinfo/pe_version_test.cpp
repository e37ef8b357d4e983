#include "platform/offline/pe_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "platform/byte_source.h"
#include "support/pe_writer.h"

namespace tarnscan::platform {
namespace {

using testing::BuildVersionBlock;
using testing::BuildVersionBlock16;
using testing::CompanyVersion;
using testing::MakeNeWithVersionBlock;
using testing::MakePe;
using testing::MakePeWithCompany;
using testing::MakePeWithVersion;
using testing::PeResource;
using testing::PeSpec;
using testing::VersionSpec;
using testing::VersionStrings;

constexpr char kCompanyPath[] = "\\StringFileInfo\\040904E4\\CompanyName";

class PeVersionTest : public ::testing::Test {
 protected:
  std::unique_ptr<VersionData> Read(std::string_view bytes) const {
    return ReadVersionResource(MemoryByteSource(bytes), *cp1252_);
  }
  std::unique_ptr<VersionData> Parse(std::string bytes) const {
    return ParseVersionData(std::move(bytes), *cp1252_);
  }
  std::optional<std::string> Company(std::string_view file) const {
    const auto data = Read(file);
    if (!data) return std::nullopt;
    return data->String(kCompanyPath);
  }

  std::unique_ptr<CodePage> cp1252_ = MakeCodePage(1252);
};

// Where the block with that key starts in Win32 version data.
size_t WideBlockAt(const std::string& data, std::string_view key) {
  std::string bytes;
  for (char16_t c : Utf8ToUtf16(key)) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  const size_t at = data.find(bytes);
  EXPECT_NE(at, std::string::npos) << key;
  return at - 6;
}

TEST_F(PeVersionTest, ReadsPe32AndPe32Plus) {
  for (bool pe32_plus : {false, true}) {
    SCOPED_TRACE(pe32_plus ? "PE32+" : "PE32");
    VersionSpec spec = CompanyVersion("Example Corp");
    spec.fixed.file_type = 2;
    spec.fixed.file_flags = 0x21;
    const auto data = Read(MakePeWithVersion(spec, pe32_plus));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->String(kCompanyPath), "Example Corp");
    EXPECT_EQ(data->String("\\StringFileInfo\\040904E4\\ProductName"), "Example Product");
    EXPECT_EQ(data->Translations(), std::vector<uint32_t>{0x04E40409});
    const auto fixed = data->Fixed();
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->signature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->file_version_ms, 0x00010002u);
    EXPECT_EQ(fixed->file_version_ls, 0x00030004u);
    EXPECT_EQ(fixed->file_flags_mask, 0x3Fu);
    EXPECT_EQ(fixed->file_flags, 0x21u);
    EXPECT_EQ(fixed->file_os, 0x00040004u);
    EXPECT_EQ(fixed->file_type, 2u);
  }
}

TEST_F(PeVersionTest, SubBlockKeysMatchWithoutRegardToCase) {
  const auto data = Read(MakePeWithCompany("Example Corp"));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->String("\\stringfileinfo\\040904e4\\COMPANYNAME"), "Example Corp");
  // Doubled and missing separators are skipped as empty components.
  EXPECT_EQ(data->String("StringFileInfo\\\\040904E4\\CompanyName"), "Example Corp");
  EXPECT_EQ(data->String("\\StringFileInfo\\040904E4\\CompanyNam"), std::nullopt);
  EXPECT_EQ(data->String("\\StringFileInfo\\040904E4\\CompanyNameX"), std::nullopt);
  EXPECT_EQ(data->String("\\StringFileInfo\\040704E4\\CompanyName"), std::nullopt);
}

TEST_F(PeVersionTest, FilesWithoutVersionResource) {
  PeSpec other_resources;
  other_resources.resources.push_back({10, 1, "", 0x0409, "data"});  // RT_RCDATA
  PeSpec named_version;  // "VS_VERSION_INFO" as a name: Windows finds only number 1
  named_version.resources.push_back(
      {16, 0, "VS_VERSION_INFO", 0x0409, BuildVersionBlock(CompanyVersion("X"))});
  PeSpec version_two;
  version_two.resources.push_back({16, 2, "", 0x0409, BuildVersionBlock(CompanyVersion("X"))});

  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"text file", "Hello, world\r\n"},
      {"MZ only", "MZ"},
      {"no resource directory", MakePe(PeSpec{})},
      {"other resources only", MakePe(other_resources)},
      {"named version resource", MakePe(named_version)},
      {"version resource 2", MakePe(version_two)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.bytes), nullptr);
  }
}

TEST_F(PeVersionTest, FindsVersionAmongOtherResourcesInTheLoadersLanguage) {
  struct Case {
    std::vector<uint16_t> languages;  // in the order the file lists them
    std::string expected;
  };
  // Each language's block names its company after the language.
  for (const auto& c : std::vector<Case>{{{0x0407, 0x0409}, "0409"},
                                         {{0x0401, 0x0409}, "0409"},
                                         {{0x0407, 0x0000, 0x0409}, "0000"},
                                         {{0x040C, 0x0009}, "0009"},
                                         {{0x0407, 0x040C}, "0407"}}) {
    PeSpec spec;
    spec.resources.push_back({3, 1, "", 0x0409, std::string(300, 'i')});  // RT_ICON
    for (uint16_t language : c.languages) {
      char name[8];
      std::snprintf(name, sizeof name, "%04X", language);
      spec.resources.push_back({16, 1, "", language, BuildVersionBlock(CompanyVersion(name))});
    }
    spec.resources.push_back({24, 1, "", 0x0409, "<assembly/>"});  // RT_MANIFEST
    EXPECT_EQ(Company(MakePe(spec)), c.expected);
  }
}

TEST_F(PeVersionTest, FixedInfoMissingOrInvalid) {
  VersionSpec without = CompanyVersion("Example Corp");
  without.with_fixed_info = false;
  const auto no_value = Read(MakePeWithVersion(without));
  ASSERT_NE(no_value, nullptr);
  EXPECT_EQ(no_value->Fixed(), std::nullopt);
  EXPECT_EQ(no_value->String(kCompanyPath), "Example Corp");

  std::string bad_signature = BuildVersionBlock(CompanyVersion("Example Corp"));
  const size_t value_at = WideBlockAt(bad_signature, "VS_VERSION_INFO") + 40;
  ASSERT_EQ(static_cast<unsigned char>(bad_signature[value_at]), 0xBD);
  bad_signature[value_at] = 0x00;
  const auto unsigned_fixed = Parse(bad_signature)->Fixed();
  ASSERT_TRUE(unsigned_fixed.has_value()) << "Windows does not check the signature";
  EXPECT_EQ(unsigned_fixed->signature, 0xFEEF0400u);
  EXPECT_EQ(unsigned_fixed->file_type, 1u);

  std::string zero_length = BuildVersionBlock(CompanyVersion("Example Corp"));
  PutLe16(zero_length, 2, 0);  // the 52 bytes are still there, but not announced
  EXPECT_EQ(Parse(zero_length)->Fixed(), std::nullopt);
}

TEST_F(PeVersionTest, TranslationTable) {
  VersionSpec none = CompanyVersion("X");
  none.translations.reset();
  EXPECT_EQ(Read(MakePeWithVersion(none))->Translations(), std::nullopt);

  VersionSpec two = CompanyVersion("X");
  two.translations = {{0x0407, 1252}, {0x0409, 1200}};
  EXPECT_EQ(Read(MakePeWithVersion(two))->Translations(),
            (std::vector<uint32_t>{0x04E40407, 0x04B00409}));

  std::string short_value = BuildVersionBlock(CompanyVersion("X"));
  PutLe16(short_value, WideBlockAt(short_value, "Translation") + 2, 3);
  EXPECT_EQ(Parse(short_value)->Translations(), std::vector<uint32_t>{});
}

TEST_F(PeVersionTest, StringsAreConvertedToTheCodePageAndCutAtNul) {
  const auto cp1251 = MakeCodePage(1251);
  const struct {
    const char* company;
    const CodePage& code_page;
    std::string expected;
  } cases[] = {
      {"M\xC3\xBCller GmbH", *cp1252_, "M\xFCller GmbH"},
      {"\xD0\xA0\xD0\xBE\xD0\xB3\xD0\xB0", *cp1251, "\xD0\xEE\xE3\xE0"},  // Cyrillic
      {"\xD0\xA0\xD0\xBE\xD0\xB3\xD0\xB0", *cp1252_, "????"},
      {"ACME \xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE", *cp1252_, "ACME ????"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const std::string file = MakePeWithCompany(c.company);
    const auto data = ReadVersionResource(MemoryByteSource(file), c.code_page);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->String(kCompanyPath), c.expected);
  }

  VersionSpec embedded = CompanyVersion("");
  embedded.tables[0].strings[0].second = std::string("Before\0After", 12);
  EXPECT_EQ(Read(MakePeWithVersion(embedded))->String(kCompanyPath), "Before");
}

TEST_F(PeVersionTest, MalformedBlocksStayInsideTheirParents) {
  const std::string good = BuildVersionBlock(CompanyVersion("Example Corp"));
  const size_t file_info = WideBlockAt(good, "StringFileInfo");
  const size_t company = WideBlockAt(good, "CompanyName");

  struct Case {
    const char* name;
    std::string data;
    std::optional<std::string> company;
    bool fixed;
  };
  std::vector<Case> cases;
  cases.push_back({"intact", good, "Example Corp", true});
  {
    std::string d = good;
    PutLe16(d, 0, 0xFFFF);  // longer than the data
    cases.push_back({"root too long", d, "Example Corp", true});
  }
  {
    std::string d = good;
    PutLe16(d, 0, static_cast<uint16_t>(file_info + 8));
    cases.push_back({"root ends inside StringFileInfo", d, std::nullopt, true});
  }
  {
    std::string d = good;
    PutLe16(d, file_info, 0);
    cases.push_back({"child of length 0", d, std::nullopt, true});
  }
  {
    std::string d = good;
    PutLe16(d, company, 0xFFF0);  // runs past every parent
    cases.push_back({"string longer than its table", d, "Example Corp", true});
  }
  {
    std::string d = good;
    // The value's NUL overwritten: the text runs to the end of its block
    // (one more character, U+7878) and no further.
    const size_t value = company + 6 + 2 * 12 + 2;
    const size_t end = company + static_cast<unsigned char>(d[company]);
    ASSERT_EQ(end, value + 2 * 13);
    for (size_t i = value + 2 * 12; i < end; ++i) d[i] = 'x';
    cases.push_back({"no NUL after the value", d, "Example Corp?", true});
  }
  {
    std::string d = good;
    for (size_t i = company + 6; i < company + 6 + 2 * 11 + 2; ++i) d[i] = 'k';
    PutLe16(d, company, 6 + 24);  // the key fills the block: no NUL inside
    cases.push_back({"key without NUL", d, std::nullopt, true});
  }
  cases.push_back({"three bytes", good.substr(0, 3), std::nullopt, false});
  cases.push_back({"nothing", "", std::nullopt, false});
  cases.push_back({"header only", good.substr(0, 40), std::nullopt, false});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto data = Parse(c.data);
    EXPECT_EQ(data->String(kCompanyPath), c.company);
    EXPECT_EQ(data->Fixed().has_value(), c.fixed);
  }
}

TEST_F(PeVersionTest, SixteenBitModule) {
  VersionSpec spec = CompanyVersion("Old Soft\xE9");  // 8-bit text is kept byte for byte
  spec.fixed.file_type = 3;
  spec.fixed.file_subtype = 4;
  const std::string file = MakeNeWithVersionBlock(BuildVersionBlock16(spec));
  const auto data = Read(file);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->String(kCompanyPath), "Old Soft\xE9");
  EXPECT_EQ(data->String("\\STRINGFILEINFO\\040904e4\\companyname"), "Old Soft\xE9");
  EXPECT_EQ(data->Translations(), std::vector<uint32_t>{0x04E40409});
  ASSERT_TRUE(data->Fixed().has_value());
  EXPECT_EQ(data->Fixed()->file_type, 3u);
  EXPECT_EQ(data->Fixed()->file_subtype, 4u);

  // A Win32 block in a 16-bit module is told apart by its content.
  EXPECT_EQ(Company(MakeNeWithVersionBlock(BuildVersionBlock(CompanyVersion("Wide")))), "Wide");
}

TEST_F(PeVersionTest, SixteenBitModuleWithHostileResourceTable) {
  const std::string good = MakeNeWithVersionBlock(BuildVersionBlock16(CompanyVersion("Old")));
  ASSERT_EQ(Company(good), "Old");
  constexpr size_t kTable = 0x80;  // NE header at 0x40, table 0x40 after it
  const struct {
    const char* name;
    std::vector<std::pair<size_t, uint16_t>> patches;
  } cases[] = {
      {"huge shift count", {{kTable, 30}}},
      {"resource past the end", {{kTable + 10, 0xFFFF}}},
      {"entry count past the table", {{kTable + 4, 0x2000}, {kTable + 16, 0x8002}}},
      {"table offset after resident names", {{0x40 + 0x24, 0x200}}},
      {"other resource number", {{kTable + 16, 0x8002}}},
      {"other resource type", {{kTable + 2, 0x8006}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = good;
    for (const auto& [at, value] : c.patches) PutLe16(file, at, value);
    EXPECT_EQ(Read(file), nullptr);
  }
}

TEST_F(PeVersionTest, TruncatedFilesGiveNothingOrTheWholeAnswer) {
  const std::string block = BuildVersionBlock(CompanyVersion("Example Corp"));
  for (bool pe32_plus : {false, true}) {
    const std::string file = MakePeWithCompany("Example Corp", pe32_plus);
    const size_t block_end = file.find(block) + block.size();
    ASSERT_NE(file.find(block), std::string::npos);
    for (size_t length = 0; length <= file.size(); ++length) {
      SCOPED_TRACE(length);
      const auto company = Company(std::string_view(file).substr(0, length));
      if (length < block_end) {
        EXPECT_EQ(company, std::nullopt);
      } else {
        EXPECT_EQ(company, "Example Corp");
      }
    }
  }
  const std::string ne = MakeNeWithVersionBlock(BuildVersionBlock16(CompanyVersion("Old")));
  for (size_t length = 0; length < ne.size(); ++length) {
    EXPECT_EQ(Read(std::string_view(ne).substr(0, length)), nullptr) << length;
  }
}

// Bytes flipped anywhere in a valid file: whatever comes back is bounded
// by the data, and nothing reads outside it (the fuzz target and the
// sanitizer build go further).
TEST_F(PeVersionTest, CorruptedFilesAreReadSafely) {
  std::mt19937 random(20240611);
  const std::string files[] = {
      MakePeWithCompany("Example Corp"),
      MakePeWithCompany("Example Corp", true),
      MakeNeWithVersionBlock(BuildVersionBlock16(CompanyVersion("Old"))),
  };
  for (const std::string& original : files) {
    for (int round = 0; round < 3000; ++round) {
      std::string file = original;
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips; ++i) {
        file[random() % file.size()] = static_cast<char>(random() & 0xFF);
      }
      const auto data = Read(file);
      if (!data) continue;
      if (const auto fixed = data->Fixed()) {
        // Whatever it holds, the block comes from the file's own bytes.
        std::string signature(4, '\0');
        for (int b = 0; b < 4; ++b) signature[b] = static_cast<char>(fixed->signature >> (8 * b));
        EXPECT_NE(file.find(signature), std::string::npos);
      }
      if (const auto translations = data->Translations()) {
        EXPECT_LE(translations->size(), file.size() / 4);
      }
      if (const auto text = data->String(kCompanyPath)) {
        EXPECT_LE(text->size(), file.size());
      }
    }
  }
}

// Counts what a parser reads, to show it leaves the rest of a file alone.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(std::string_view bytes) : inner_(bytes) {}
  uint64_t Size() const override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override {
    EXPECT_LE(offset + count, Size()) << "read past the end";
    read_ += count;
    return inner_.ReadAt(offset, out, count);
  }
  mutable size_t read_ = 0;

 private:
  MemoryByteSource inner_;
};

TEST_F(PeVersionTest, ReadsHeadersAndTheResourceOnly) {
  PeSpec spec;
  spec.resources.push_back({10, 1, "", 0x0409, std::string(1 << 20, 'd')});
  spec.resources.push_back({16, 1, "", 0x0409, BuildVersionBlock(CompanyVersion("Big"))});
  const std::string file = MakePe(spec);
  const CountingSource source(file);
  const auto data = ReadVersionResource(source, *cp1252_);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->String(kCompanyPath), "Big");
  EXPECT_LT(source.read_, 4096u);
}

}  // namespace
}  // namespace tarnscan::platform

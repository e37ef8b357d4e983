#include "fileinfo/md5.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/memory/memory_file_system.h"

namespace tarnscan {
namespace {

std::string Digest(std::string_view text) {
  Md5 md5;
  md5.Update(text.data(), text.size());
  return MD5Text(md5.Finish());
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5Test, Rfc1321Suite) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(Digest(c.text), c.digest) << '"' << c.text << '"';
}

TEST(Md5Test, PiecesGiveTheSameDigestAsTheWhole) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text.push_back(static_cast<char>(i * 7 + 3));
  const std::string whole = Digest(text);
  for (size_t piece : {1, 3, 55, 56, 63, 64, 65, 127, 999}) {
    Md5 md5;
    for (size_t at = 0; at < text.size(); at += piece) {
      md5.Update(text.data() + at, std::min(piece, text.size() - at));
    }
    EXPECT_EQ(MD5Text(md5.Finish()), whole) << piece;
  }
}

TEST(Md5Test, FinishStartsAfresh) {
  Md5 md5;
  md5.Update("abc", 3);
  EXPECT_EQ(MD5Text(md5.Finish()), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(MD5Text(md5.Finish()), "D41D8CD98F00B204E9800998ECF8427E");
  md5.Update("a", 1);
  EXPECT_EQ(MD5Text(md5.Finish()), "0CC175B9C0F1B6A831C399E269772661");
}

TEST(Md5Test, TextIsUpperCaseHexWithLeadingZeros) {
  Md5Digest digest{};
  digest[0] = 10;
  digest[1] = 0xAB;
  digest[15] = 0xF0;
  EXPECT_EQ(MD5Text(digest),
            "0AAB0000000000000000000000000"
            "0F0");
}

// What md5sum, another implementation, says about the same bytes.
std::string Md5sum(const std::string& host_path) {
  std::string command = "md5sum '" + host_path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char line[256] = {};
  const bool read = fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  if (!read) return {};
  std::string digest(line, 32);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return digest;
}

TEST(FileMd5Test, BlockAndPaddingBoundariesAgreeWithMd5sum) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("tarnscan-md5-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  platform::MemoryFileSystem files;
  for (size_t size : {0, 1, 55, 56, 63, 64, 65, 4095, 4096, 4097, 8192, 100003}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size) & 0xFF);
    const std::string host = (folder / ("f" + std::to_string(size))).string();
    std::ofstream(host, std::ios::binary) << bytes;
    const std::string expected = Md5sum(host);
    ASSERT_EQ(expected.size(), 32u);

    files.AddFile("C:\\mem.bin", bytes);
    EXPECT_EQ(MD5Text(FileMD5(files, "C:\\mem.bin")), expected);
    files.AddHostFile("C:\\host.bin", host, size);
    EXPECT_EQ(MD5Text(FileMD5(files, "C:\\host.bin")), expected);
  }
  std::filesystem::remove_all(folder);
}

TEST(FileMd5Test, FilesThatCannotBeOpened) {
  platform::MemoryFileSystem files;
  files.AddFile("C:\\busy.exe", "x").locked = true;
  files.AddFolder("C:\\folder");
  EXPECT_THROW(FileMD5(files, "C:\\busy.exe"), platform::FileError);
  EXPECT_THROW(FileMD5(files, "C:\\folder"), platform::FileError);
  EXPECT_THROW(FileMD5(files, "C:\\missing.exe"), platform::FileError);
}

// A file that hands out fewer bytes per read than asked, or fewer in all
// than its size promised (it shrank while being read).
class ShortReadFile final : public platform::InputFile {
 public:
  ShortReadFile(std::string bytes, uint64_t size, size_t* largest_request)
      : bytes_(std::move(bytes)), size_(size), largest_request_(largest_request) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override {
    return platform::MemoryByteSource(bytes_).ReadAt(offset, out, count);
  }
  size_t Read(void* out, size_t count) override {
    *largest_request_ = std::max(*largest_request_, count);
    const size_t n = ReadAt(position_, out, std::min<size_t>(count, 1000));
    position_ += n;
    return n;
  }

 private:
  std::string bytes_;
  uint64_t size_;
  size_t* largest_request_;
  uint64_t position_ = 0;
};

class OneFileSystem final : public platform::FileSystem {
 public:
  OneFileSystem(std::string bytes, uint64_t size) : bytes_(std::move(bytes)), size_(size) {}
  std::vector<platform::FileEntry> List(std::string_view, std::string_view) const override {
    return {};
  }
  std::optional<platform::FileEntry> Stat(std::string_view) const override { return {}; }
  std::unique_ptr<platform::InputFile> OpenExclusive(std::string_view) const override {
    return std::make_unique<ShortReadFile>(bytes_, size_, &largest_request);
  }
  mutable size_t largest_request = 0;

 private:
  std::string bytes_;
  uint64_t size_;
};

TEST(FileMd5Test, ShortReadsAndShrunkenFiles) {
  const std::string text(10000, 'q');
  const OneFileSystem short_reads(text, text.size());
  EXPECT_EQ(MD5Text(FileMD5(short_reads, "C:\\x")), Digest(text));
  EXPECT_EQ(short_reads.largest_request, 4096u);

  const OneFileSystem shrunk(text.substr(0, 5000), text.size());
  EXPECT_EQ(MD5Text(FileMD5(shrunk, "C:\\x")), Digest(text.substr(0, 5000)));
}

}  // namespace
}  // namespace tarnscan

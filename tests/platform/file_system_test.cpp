#include <gtest/gtest.h>

#include "platform/memory/memory_file_system.h"

namespace tarnscan::platform {
namespace {

struct MaskCase {
  const char* mask;
  const char* name;
  bool matches;
};

class WildcardTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(WildcardTest, MatchesLikeFindFirstFile) {
  EXPECT_EQ(WildcardMatch(GetParam().mask, GetParam().name), GetParam().matches)
      << GetParam().mask << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, WildcardTest,
    ::testing::Values(MaskCase{"*.*", "noext", true}, MaskCase{"*.*", "a.b.c", true},
                      MaskCase{"*", "anything.at.all", true}, MaskCase{"*.cpl", "desk.CPL", true},
                      MaskCase{"*.cpl", "desk.cplx", false}, MaskCase{"*.cpl", "desk.cp", false},
                      MaskCase{"*.def", "a.def", true}, MaskCase{"*.def", "a.def.txt", false},
                      MaskCase{"a?c.txt", "abc.txt", true}, MaskCase{"a?c.txt", "ac.txt", false},
                      MaskCase{"abc.???", "abc.ex", true}, MaskCase{"abc.???", "abc.exe", true},
                      MaskCase{"abc.???", "abc.exee", false}, MaskCase{"abc.*", "abc", true},
                      MaskCase{"*.", "noext", true}, MaskCase{"*.", "has.ext", false},
                      MaskCase{"win*.sys", "WIN386.SYS", true},
                      MaskCase{"hosts", "HOSTS", true}, MaskCase{"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaa", false}));

TEST(MemoryFileSystem, ResolvesWindowsPathsWithoutRegardToCase) {
  MemoryFileSystem files;
  files.AddFile("C:\\WINDOWS\\System32\\Drivers\\etc\\hosts", "127.0.0.1 localhost");
  EXPECT_TRUE(files.FileExists("c:\\windows\\system32\\drivers\\ETC\\HOSTS"));
  EXPECT_TRUE(files.FileExists("C:/WINDOWS/system32//drivers\\etc\\hosts"));
  EXPECT_TRUE(files.FolderExists("C:\\WINDOWS\\"));
  EXPECT_TRUE(files.FolderExists("C:\\"));
  EXPECT_FALSE(files.FileExists("C:\\WINDOWS"));
  EXPECT_FALSE(files.FolderExists("D:\\"));
  EXPECT_EQ(files.Stat("C:\\windows\\system32")->name, "System32");
}

TEST(MemoryFileSystem, ListsSortedByUpperCaseNameWithMaskAndFolders) {
  MemoryFileSystem files;
  files.AddFile("C:\\d\\b.txt", "");
  files.AddFile("C:\\d\\A.TXT", "");
  files.AddFile("C:\\d\\c.dll", "");
  files.AddFolder("C:\\d\\sub.txt");
  std::vector<std::string> names;
  for (const auto& entry : files.List("C:\\d", "*.txt")) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.TXT", "b.txt", "sub.txt"}));
  EXPECT_TRUE(files.List("C:\\missing", "*.*").empty());
  EXPECT_TRUE(files.List("C:\\d\\c.dll", "*.*").empty());
}

TEST(MemoryFileSystem, ExclusiveOpenFailsForMissingFoldersAndLockedFiles) {
  MemoryFileSystem files;
  files.AddFile("C:\\a.bin", "abc").locked = true;
  files.AddFolder("C:\\dir");
  EXPECT_THROW(files.OpenExclusive("C:\\a.bin"), FileError);
  EXPECT_THROW(files.OpenExclusive("C:\\dir"), FileError);
  EXPECT_THROW(files.OpenExclusive("C:\\none"), FileError);
  files.Find("C:\\a.bin")->locked = false;
  auto file = files.OpenExclusive("C:\\a.bin");
  char buffer[8];
  EXPECT_EQ(file->Read(buffer, 2), 2u);
  EXPECT_EQ(file->Read(buffer, 8), 1u);
  EXPECT_EQ(file->Read(buffer, 8), 0u);
  EXPECT_EQ(file->ReadAt(1, buffer, 8), 2u);
}

TEST(FileSystem, ReadLinesEndsLinesAtCrLfLfOrCr) {
  MemoryFileSystem files;
  files.AddFile("C:\\p.txt", std::string("one\r\n two \ntext\rlast") + std::string(5000, 'x'));
  const auto lines = files.ReadLines("C:\\p.txt");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], " two ");
  EXPECT_EQ(lines[3].size(), 5004u);
  files.AddFile("C:\\split.txt", std::string(4095, 'a') + "\r\nb");
  EXPECT_EQ(files.ReadLines("C:\\split.txt").size(), 2u);  // CR LF across a block edge
}

}  // namespace
}  // namespace tarnscan::platform

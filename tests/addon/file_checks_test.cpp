#include "addon/file_checks.h"

#include <gtest/gtest.h>

#include "addon/addon_fixture.h"
#include "support/pe_writer.h"

namespace tarnscan {
namespace {

using testing::AddOnFixture;
using testing::At;
using testing::Lines;

// Records which files were opened, to see which ones were digested.
class CountingFiles final : public platform::FileSystem {
 public:
  explicit CountingFiles(std::unique_ptr<platform::FileSystem> inner) : inner_(std::move(inner)) {}
  std::vector<platform::FileEntry> List(std::string_view folder,
                                        std::string_view mask) const override {
    return inner_->List(folder, mask);
  }
  std::optional<platform::FileEntry> Stat(std::string_view path) const override {
    return inner_->Stat(path);
  }
  std::unique_ptr<platform::InputFile> OpenExclusive(std::string_view path) const override {
    opened.emplace_back(path);
    return inner_->OpenExclusive(path);
  }
  mutable Lines opened;

 private:
  std::unique_ptr<platform::FileSystem> inner_;
};

constexpr const char* kAbcDigest = "900150983CD24FB0D6963F7D28E17F72";  // MD5 of "abc"

struct FileChecks : AddOnFixture {
  const Lines& Check(FileCheck check) {
    scan.context->log.Clear();
    CheckFiles(context(), check);
    return Log();
  }
  static FileCheck Files(std::string folder, std::string mask) {
    FileCheck check;
    check.folder = std::move(folder);
    check.mask = std::move(mask);
    return check;
  }
};

TEST_F(FileChecks, AMatchIsListedWithItsCompany) {
  UseCompanyNames();
  files().AddFile("C:\\WINDOWS\\notepad.exe", testing::MakePeWithCompany("Microsoft Corporation"));
  const Lines expected{"  C:\\WINDOWS\\notepad.exe (Microsoft Corporation)"};
  EXPECT_EQ(Check(Files("C:\\WINDOWS", "notepad.exe")), expected);
  EXPECT_EQ(Check(Files("C:\\WINDOWS\\", "NOTEPAD.EXE")), expected);
}

TEST_F(FileChecks, NotFoundLineNamesEveryTestThatWasAsked) {
  files().AddFile("C:\\WINDOWS\\notepad.exe", "MZ");
  FileCheck all = Files("C:\\WINDOWS", "nosuch.exe");
  all.days = 3;
  all.size = 1000;
  all.digest = "d41d8cd98f00b204e9800998ecf8427e";
  FileCheck off = Files("C:\\WINDOWS", "nosuch.exe");
  off.days = -1;
  off.size = 0;
  const std::pair<FileCheck, Lines> cases[] = {
      {Files("C:\\WINDOWS", "nosuch.exe"), {"  File C:\\WINDOWS\\nosuch.exe was not found!"}},
      {all,
       {"  File C:\\WINDOWS\\nosuch.exe for today - 3 days with a size of 1000 bytes with an MD5 "
        "of d41d8cd98f00b204e9800998ecf8427e was not found!"}},
      {off, {"  File C:\\WINDOWS\\nosuch.exe was not found!"}},
      {Files("C:\\Nowhere", "*.*"), {"  File C:\\Nowhere\\*.* was not found!"}},
      {Files("", "*.*"), {"  File \\*.* was not found!"}},
      {Files("C:\\WINDOWS\\notepad.exe", "*.*"),
       {"  File C:\\WINDOWS\\notepad.exe\\*.* was not found!"}},
  };
  for (const auto& [check, expected] : cases) EXPECT_EQ(Check(check), expected) << check.mask;

  FileCheck quiet = Files("C:\\WINDOWS", "nosuch.exe");
  quiet.option = "subFolders";  // the option alone hides the line
  EXPECT_EQ(Check(quiet), Lines{});
}

TEST_F(FileChecks, PagingFilesAreNeverListed) {
  files().AddFile("C:\\PAGEFILE.SYS", "p", platform::kAttrHidden | platform::kAttrSystem);
  files().AddFile("C:\\win386.swp", "s");
  files().AddFile("C:\\boot.ini", "b", platform::kAttrHidden);
  EXPECT_EQ(Check(Files("C:\\", "*.*")), Lines{"  C:\\boot.ini ()"});
  EXPECT_EQ(Check(Files("C:\\", "pagefile.sys")), Lines{"  File C:\\pagefile.sys was not found!"});
}

TEST_F(FileChecks, DigestInAnyLetterCase) {
  files().AddFile("C:\\Tools\\abc.bin", "abc");
  files().AddFile("C:\\Tools\\abd.bin", "abd");
  FileCheck check = Files("C:\\Tools", "*.bin");
  check.digest = "900150983cd24fb0d6963f7d28e17f72";
  EXPECT_EQ(Check(check), Lines{"  C:\\Tools\\abc.bin ()"});
  check.digest = kAbcDigest;
  EXPECT_EQ(Check(check), Lines{"  C:\\Tools\\abc.bin ()"});
  check.digest = "00000000000000000000000000000000";
  EXPECT_EQ(Check(check), Lines{"  File C:\\Tools\\*.bin with an MD5 of "
                                "00000000000000000000000000000000 was not found!"});
}

TEST_F(FileChecks, AgeCountsWholeDaysBackFromTheScannedSystemsNow) {
  scan.test_system.clock.Set({2026, 1, 2, 3, 4, 6, 0});
  files().AddFile("C:\\Age\\two-days.txt", "", platform::kAttrArchive, At(2025, 12, 31, 12));
  files().AddFile("C:\\Age\\month.txt", "", platform::kAttrArchive, At(2025, 12, 2, 12));
  // Three days before "now", to the second, and just around it: search
  // records keep even seconds, so :07 counts as :06.
  files().AddFile("C:\\Age\\edge.txt", "", platform::kAttrArchive, At(2025, 12, 30, 3, 4, 6));
  files().AddFile("C:\\Age\\edge-odd.txt", "", platform::kAttrArchive, At(2025, 12, 30, 3, 4, 7));
  files().AddFile("C:\\Age\\inside.txt", "", platform::kAttrArchive, At(2025, 12, 30, 3, 4, 8));
  const std::pair<int32_t, Lines> cases[] = {
      {3, {"  C:\\Age\\inside.txt ()", "  C:\\Age\\two-days.txt ()"}},
      {1, {"  File C:\\Age\\*.txt for today - 1 days was not found!"}},
      {0,
       {"  C:\\Age\\edge-odd.txt ()", "  C:\\Age\\edge.txt ()", "  C:\\Age\\inside.txt ()",
        "  C:\\Age\\month.txt ()", "  C:\\Age\\two-days.txt ()"}},
      {2147483647,
       {"  C:\\Age\\edge-odd.txt ()", "  C:\\Age\\edge.txt ()", "  C:\\Age\\inside.txt ()",
        "  C:\\Age\\month.txt ()", "  C:\\Age\\two-days.txt ()"}},
  };
  for (const auto& [days, expected] : cases) {
    FileCheck check = Files("C:\\Age", "*.txt");
    check.days = days;
    EXPECT_EQ(Check(check), expected) << days;
  }
}

TEST_F(FileChecks, OnlyFilesThatPassedAgeAndSizeAreDigested) {
  auto& system = scan.test_system.system;
  auto counting = std::make_unique<CountingFiles>(std::move(system.files));
  const CountingFiles& opened = *counting;
  system.files = std::move(counting);
  scan.test_system.clock.Set({2026, 1, 2, 12, 0, 0, 0});
  files().AddFile("C:\\Dl\\new-abc.bin", "abc", platform::kAttrArchive, At(2026, 1, 1));
  files().AddFile("C:\\Dl\\new-long.bin", "abcdef", platform::kAttrArchive, At(2026, 1, 1));
  files().AddFile("C:\\Dl\\old-abc.bin", "abc", platform::kAttrArchive, At(2020, 1, 1));
  files().AddFile("C:\\Dl\\new-xyz.bin", "xyz", platform::kAttrArchive, At(2026, 1, 1));
  FileCheck check = Files("C:\\Dl", "*.bin");
  check.days = 7;
  check.size = 3;
  check.digest = kAbcDigest;
  EXPECT_EQ(Check(check), Lines{"  C:\\Dl\\new-abc.bin ()"});
  EXPECT_EQ(opened.opened, (Lines{"C:\\Dl\\new-abc.bin", "C:\\Dl\\new-xyz.bin"}));
}

TEST_F(FileChecks, AFileThatCannotBeDigestedIsSkipped) {
  files().AddFile("C:\\Dl\\a.bin", "abc").locked = true;
  files().AddFile("C:\\Dl\\b.bin", "abc");
  FileCheck check = Files("C:\\Dl", "*.bin");
  check.digest = kAbcDigest;
  EXPECT_EQ(Check(check), Lines{"  C:\\Dl\\b.bin ()"});
  check.mask = "a.bin";
  EXPECT_EQ(Check(check), Lines{std::string("  File C:\\Dl\\a.bin with an MD5 of ") + kAbcDigest +
                                " was not found!"});
}

struct Tree : FileChecks {
  Tree() {
    files().AddFile("C:\\T\\top.exe", "");
    files().AddFile("C:\\T\\a\\b\\deep.exe", "");
    files().AddFile("C:\\T\\a\\mid.exe", "");
    files().AddFile("C:\\T\\z\\last.exe", "");
    files().AddFile("C:\\T\\z\\notes.txt", "");
    files().AddFile("C:\\T\\a.exe.txt", "");  // a file: nothing below it
    files().AddFolder("C:\\T\\link", platform::kAttrDirectory | platform::kAttrReparsePoint);
    files().AddFile("C:\\T\\link\\behind.exe", "");
  }
  static FileCheck Below(std::string mask, std::string option = "SUBFOLDERS") {
    FileCheck check = Files("C:\\T", std::move(mask));
    check.option = std::move(option);
    check.subfolders = true;
    return check;
  }
};

TEST_F(Tree, FoldersBelowDepthFirstEachFoldersOwnMatchesFirst) {
  EXPECT_EQ(Check(Below("*.exe")),
            (Lines{"  C:\\T\\top.exe ()", "  C:\\T\\a\\mid.exe ()", "  C:\\T\\a\\b\\deep.exe ()",
                   "  C:\\T\\z\\last.exe ()"}));
}

TEST_F(Tree, NothingAnywhereWritesNothing) { EXPECT_EQ(Check(Below("*.sys")), Lines{}); }

TEST_F(Tree, NotFoundLinesComeAfterTheFoldersBelowWhenTheOptionIsNotSubfolders) {
  // SUBFOLDERS among several option fields sets the flag; the last field
  // is the option.
  EXPECT_EQ(Check(Below("*.txt", "extra")),
            (Lines{"  C:\\T\\a.exe.txt ()", "  File C:\\T\\a\\b\\*.txt was not found!",
                   "  File C:\\T\\a\\*.txt was not found!", "  C:\\T\\z\\notes.txt ()"}));
}

TEST_F(Tree, AMaskMayNameAFolderBelow) {
  EXPECT_EQ(Check(Files("C:\\T", "a\\b\\*.exe")), Lines{"  C:\\T\\a\\b\\deep.exe ()"});
}

}  // namespace
}  // namespace tarnscan

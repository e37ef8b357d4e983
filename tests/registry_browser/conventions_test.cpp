#include <gtest/gtest.h>

#include "platform/registry_reader.h"
#include "registry/registry_conventions.h"
#include "registry_browser/browser_fixture.h"

namespace tarnscan::testing {
namespace {

using platform::RootKey;

TEST(IsMicrosoftSuffix, ExactWordsAnywhereInTheSuffix) {
  struct Case {
    std::string_view suffix;
    bool microsoft;
  };
  const Case cases[] = {
      {" (Microsoft Corporation)", true},
      {" (Microsoft Corporation Ltd)", true},
      {" (Copyright Microsoft Corporation 2004)", true},
      {" (microsoft corporation)", false},
      {" (MICROSOFT CORPORATION)", false},
      {" (Microsoft  Corporation)", false},
      {" (Microsoft Corp.)", false},
      {" ()", false},
      {"[Detail Data unreadable]", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMicrosoftSuffix(c.suffix), c.microsoft) << c.suffix;
}

TEST(EntryLine, PiecesFollowEachOtherWithTheirSeparatorsKeptWhenEmpty) {
  EXPECT_EQ(EntryLine(kOneBackslash, "{X}", "Name", "C:\\x.dll", " (Co)"),
            R"(  \{X} - Name = C:\x.dll (Co))");
  EXPECT_EQ(EntryLine(kTwoBackslashes, "{X}", "", "", " ()", kHkcuMarker),
            R"(  \\{X} -  =  ()(HKCU CLSID))");
}

// The model form, run the way the helper-object list runs it: Reg1 is free
// and the name is both the shown name and the CLSID.
class ModelForm : public BrowserScanTest {
 protected:
  const Lines& Entry(std::string_view clsid) {
    WriteClsidEntry(context(), clsid, ClsidEntryChoices{.prefix = kOneBackslash});
    return context().log.Lines();
  }
};

TEST_F(ModelForm, MachineWideOnlyGivesOneLine) {
  EXPECT_EQ(Entry("{ACME}"),
            (Lines{R"(  \{ACME} - Acme Helper = C:\Program Files\Acme\acme.dll (Acme Software))"}));
}

TEST_F(ModelForm, PerUserOnlyGivesAnEmptyMachineLineThenTheMarkedUserLine) {
  EXPECT_EQ(
      Entry("{USER}"),
      (Lines{
          R"(  \{USER} -  =  ())",
          R"(  \{USER} - User Bar = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))"}));
}

TEST_F(ModelForm, BothHivesGiveMachineLineFirst) {
  EXPECT_EQ(
      Entry("{BOTH}"),
      (Lines{
          R"(  \{BOTH} - Both Machine = C:\Program Files\Acme\acme.dll (Acme Software))",
          R"(  \{BOTH} - Both User = "C:\Documents and Settings\Owner\user.dll" (Per User Inc)(HKCU CLSID))"}));
}

TEST_F(ModelForm, UnregisteredClassGivesTheBareLine) {
  EXPECT_EQ(Entry("{UNREG}"), (Lines{R"(  \{UNREG} -  =  ())"}));
}

TEST_F(ModelForm, PerUserClassKeyAloneIsEnoughForTheUserLine) {
  EXPECT_EQ(Entry("{NOINPROC}"), (Lines{R"(  \{NOINPROC} -  =  ())",
                                        R"(  \{NOINPROC} - Bare User Class =  ()(HKCU CLSID))"}));
}

TEST_F(ModelForm, StoresTheCleanedPathAndItsCompanyOfTheLastLookup) {
  Entry("{MS}");
  EXPECT_EQ(context().reg_file, R"(C:\WINDOWS\system32\msthing.dll)");
  EXPECT_EQ(context().reg_company, " (Microsoft Corporation)");
  Entry("{UNREG}");
  EXPECT_EQ(context().reg_file, "Reg Data missing or invalid");
  EXPECT_EQ(context().reg_company, " ()");
}

TEST_F(ModelForm, LeavesBothReadersClosedOnTheMachineHive) {
  context().reg1.SetRoot(RootKey::kCurrentUser);
  context().reg1.OpenKey("Software");
  Entry("{BOTH}");
  EXPECT_FALSE(context().reg1.HasKey());
  EXPECT_FALSE(context().reg2->HasKey());
  EXPECT_EQ(context().reg1.Root(), RootKey::kLocalMachine);
  EXPECT_EQ(context().reg2->Root(), RootKey::kLocalMachine);
}

TEST_F(ModelForm, UnreadableVersionDataTakesThePlaceOfTheSuffix) {
  VersionSpec spec = CompanyVersion("Broken Inc");
  spec.with_fixed_info = false;
  scan.test_system.files.AddFile("C:\\Program Files\\Acme\\acme.dll", MakePeWithVersion(spec));
  EXPECT_EQ(
      Entry("{ACME}"),
      (Lines{
          R"(  \{ACME} - Acme Helper = C:\Program Files\Acme\acme.dll[Detail Data unreadable])"}));
}

TEST_F(ModelForm, ClassNameOfAnotherTypeEndsTheScanNamingTheDefaultValue) {
  Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ACME}]
@=dword:00000001
)");
  try {
    Entry("{ACME}");
    FAIL() << "no error";
  } catch (const platform::RegistryError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for ''");
  }
  EXPECT_TRUE(context().log.Lines().empty());
}

// The filter, in the form the approved list uses it.
class FilteredForm : public BrowserScanTest {
 protected:
  FilteredForm() {
    Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Test]
"{ACME}"="acme"
"{MS}"="ms"
"{LOWER}"="lower"
"{LTD}"="ltd"
"{MSUSER}"="mixed"
"{UNREG}"="ghost"
)");
  }
  const Lines& Entry(std::string_view clsid) {
    context().reg1.SetRoot(RootKey::kLocalMachine);
    context().reg1.OpenKey("SOFTWARE\\Test");
    WriteClsidEntry(context(), clsid, choices);
    return context().log.Lines();
  }
  ClsidEntryChoices choices{.prefix = kTwoBackslashes,
                            .description = DescriptionText::kListedValueData,
                            .open_machine_class_key = false,
                            .per_user_line = PerUserLine::kWhenInprocServerExists,
                            .non_microsoft_filter = true,
                            .show_all_box = "chkAllShellExtensions"};
};

TEST_F(FilteredForm, MicrosoftCompanyIsHiddenOtherSpellingsAreNot) {
  for (const auto* clsid : {"{ACME}", "{MS}", "{LOWER}", "{LTD}", "{UNREG}"}) Entry(clsid);
  EXPECT_EQ(context().log.Lines(),
            (Lines{R"(  \\{ACME} - acme = C:\Program Files\Acme\acme.dll (Acme Software))",
                   R"(  \\{LOWER} - lower = C:\WINDOWS\system32\lower.dll (microsoft corporation))",
                   R"(  \\{UNREG} - ghost =  ())"}));
}

TEST_F(FilteredForm, ShowAllBoxTurnsTheFilterOff) {
  Tick("chkAllShellExtensions");
  Entry("{MS}");
  Entry("{LTD}");
  EXPECT_EQ(
      context().log.Lines(),
      (Lines{R"(  \\{MS} - ms = %SystemRoot%\system32\msthing.dll (Microsoft Corporation))",
             R"(  \\{LTD} - ltd = C:\WINDOWS\system32\ltd.dll (Microsoft Corporation Ltd))"}));
}

TEST_F(FilteredForm, MicrosoftPerUserRegistrationAloneIsHidden) {
  EXPECT_EQ(Entry("{MSUSER}"),
            (Lines{R"(  \\{MSUSER} - mixed = C:\Program Files\Acme\acme.dll (Acme Software))"}));
}

TEST_F(FilteredForm, FilterOffInTheChoicesIgnoresTheBox) {
  choices.non_microsoft_filter = false;
  EXPECT_EQ(Entry("{MS}").size(), 1u);
}

TEST_F(FilteredForm, KeepsReg1OnTheWalkedKey) {
  Entry("{BOTH}");
  EXPECT_TRUE(context().reg1.HasKey());
  EXPECT_EQ(context().reg1.CurrentPath(), "SOFTWARE\\Test");
  EXPECT_FALSE(context().reg2->HasKey());
}

}  // namespace
}  // namespace tarnscan::testing

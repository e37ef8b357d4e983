#include "main/options.h"

#include <gtest/gtest.h>

namespace tarnscan {
namespace {

std::vector<bool> States(const ScanOptions& options) {
  std::vector<bool> states;
  for (const auto& box : OptionBoxes()) states.push_back(options.Ticked(box.name));
  return states;
}

TEST(ScanOptions, StartStatesTickEverySectionAndOnlyTheWinsockShowAll) {
  const ScanOptions options;
  for (const auto& box : OptionBoxes()) {
    const bool show_all = !box.show_all_of.empty();
    const bool expected = !show_all || box.name == "chkAllWinsock2";
    EXPECT_EQ(options.Ticked(box.name), expected) << box.name;
  }
  EXPECT_EQ(OptionBoxes().size(), 12u + 26u + 1u);
}

TEST(ScanOptions, DefaultRestoresTheStartColumnAfterAnyChanges) {
  ScanOptions options;
  const auto start = States(options);
  options.FolderRemoveAll();
  options.RegistrySelectAll();
  options.Set("chkAllProtocolFilters", true);
  options.Default();
  EXPECT_EQ(States(options), start);
}

TEST(ScanOptions, RegistrySelectAllUnticksEveryShowAllBoxButDefaultTicksWinsock) {
  ScanOptions options;
  options.Set("chkAllShellExtensions", true);
  options.RegistrySelectAll();
  for (const auto& box : OptionBoxes()) {
    if (box.group != OptionGroup::kRegistry) continue;
    EXPECT_EQ(options.Ticked(box.name), box.show_all_of.empty()) << box.name;
  }
  options.Default();
  EXPECT_TRUE(options.Ticked("chkAllWinsock2"));
}

TEST(ScanOptions, GroupButtonsLeaveTheOtherGroupAndTheAddOnsAlone) {
  ScanOptions options;
  options.Set("chkAddOns", false);
  options.RegistryRemoveAll();
  for (const auto& box : OptionBoxes()) {
    if (box.group == OptionGroup::kAddOns) continue;
    EXPECT_EQ(options.Ticked(box.name), box.group == OptionGroup::kFolders) << box.name;
  }
  options.FolderRemoveAll();
  options.FolderSelectAll();
  options.Default();
  EXPECT_FALSE(options.Ticked("chkAddOns"));
}

TEST(ScanOptions, AddOnsStaySortedWithoutRegardToCaseAndKeepDuplicates) {
  ScanOptions options;
  for (const char* name : {"b.def", "A.def", "c.def", "a.def"}) options.AddAddOn(name);
  std::vector<std::string> names;
  for (const auto& addon : options.AddOns()) {
    names.push_back(addon.name);
    EXPECT_FALSE(addon.checked);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A.def", "a.def", "b.def", "c.def"}));
}

TEST(ScanOptions, FindsBoxesWithOrWithoutPrefixInAnyCase) {
  const ScanOptions options;
  ASSERT_NE(options.FindBox("runkeys"), nullptr);
  EXPECT_EQ(options.FindBox("runkeys")->name, "chkRunKeys");
  EXPECT_EQ(options.FindBox("CHKALLWINSOCK2")->name, "chkAllWinsock2");
  EXPECT_EQ(options.FindBox("NoSuchBox"), nullptr);
}

}  // namespace
}  // namespace tarnscan

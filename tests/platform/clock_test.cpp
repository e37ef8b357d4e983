#include "platform/clock.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace tarnscan::platform {
namespace {

struct PictureCase {
  const char* picture;
  LocalTime time;
  const char* expected;
};

class PictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureTest, RendersLikeTheWindowsLocaleFunctions) {
  EXPECT_EQ(FormatDatePicture(GetParam().time, GetParam().picture, DateFormat{}),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureTest,
    ::testing::Values(PictureCase{"M/d/yyyy", {2026, 1, 2, 3, 4, 5}, "1/2/2026"},
                      PictureCase{"dd/MM/yyyy", {2026, 1, 2, 3, 4, 5}, "02/01/2026"},
                      PictureCase{"d.M.yyyy", {2009, 11, 30, 0, 0, 0}, "30.11.2009"},
                      PictureCase{"yy-MMM-dd", {2007, 3, 9}, "07-Mar-09"},
                      PictureCase{"dddd, MMMM d, yyyy", {2026, 12, 11}, "Friday, December 11, 2026"},
                      PictureCase{"h:mm:ss tt", {2026, 1, 2, 0, 4, 5}, "12:04:05 AM"},
                      PictureCase{"h:mm:ss tt", {2026, 1, 2, 13, 4, 5}, "1:04:05 PM"},
                      PictureCase{"HH:mm:ss", {2026, 1, 2, 3, 4, 5}, "03:04:05"},
                      PictureCase{"H 'h' mm 'min' t", {2026, 1, 2, 9, 7, 0}, "9 h 07 min A"},
                      PictureCase{"'It''s' d", {2026, 1, 2}, "It's 2"},
                      PictureCase{"'unclosed", {2026, 1, 2}, "unclosed"}));

TEST(FormatDateTime, LeavesOutTheTimeAtMidnightOnly) {
  const DateFormat format;
  EXPECT_EQ(FormatDateTime({2026, 1, 2, 0, 0, 0, 0}, format), "1/2/2026");
  EXPECT_EQ(FormatDateTime({2026, 1, 2, 0, 0, 1, 0}, format), "1/2/2026 12:00:01 AM");
}

TEST(DateTimeValues, RoundTripAndKnowTheirEpochs) {
  EXPECT_DOUBLE_EQ(ToDateTimeValue({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(ToDateTimeValue({1900, 1, 1, 12, 0, 0, 0}), 2.5);
  const LocalTime t{2024, 2, 29, 23, 59, 58, 0};
  const LocalTime back = FromDateTimeValue(ToDateTimeValue(t));
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.second, 58);
  const LocalTime fromft = FileTimeToCalendar(CalendarToFileTime(t));
  EXPECT_EQ(fromft.month, 2);
  EXPECT_EQ(fromft.hour, 23);
  EXPECT_EQ(FileTimeToCalendar(0).year, 1601);
  EXPECT_EQ(FileTimeToCalendar(116444736000000000LL).year, 1970);
}

TEST(ParseLocalTime, AcceptsOnlyRealTimesInTheFixedForm) {
  EXPECT_TRUE(ParseLocalTime("2026-01-02 03:04:05"));
  EXPECT_FALSE(ParseLocalTime("2026-02-30 03:04:05"));
  EXPECT_FALSE(ParseLocalTime("2026-1-2 3:4:5"));
  EXPECT_FALSE(ParseLocalTime("2026-01-02 24:00:00"));
  EXPECT_FALSE(ParseLocalTime("2026-01-02 03:04:05x"));
}

TEST(CodePage, ConvertsWithQuestionMarksForWhatIsMissing) {
  const auto western = MakeCodePage(1252);
  const auto cyrillic = MakeCodePage(1251);
  const std::u16string text = u"\u00c9t\u00e9 \u0416 \u20ac";
  EXPECT_EQ(western->FromUtf16(text), "\xC9t\xE9 ? \x80");
  EXPECT_EQ(cyrillic->FromUtf16(text), "?t? \xC6 \x88");
  EXPECT_EQ(western->ToUtf16("\xBB"), u"\u00bb");
  EXPECT_EQ(MakeCodePage(99999)->Id(), 1252);
  EXPECT_EQ(MakeCodePage(936)->FromUtf16(u"\u8bf4"), "\xCB\xB5");
  // A lone surrogate becomes "?" and does not swallow what follows.
  EXPECT_EQ(western->FromUtf16(std::u16string(u"a") + char16_t(0xD800) + u".exe"), "a?.exe");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("h\xC3\xA9\xF0\x9F\x98\x80")), "h\xC3\xA9\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace tarnscan::platform

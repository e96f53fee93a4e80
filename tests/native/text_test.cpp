// The bounded UTF-16 helpers every part of the program formats and copies
// text with: where a bounded result is cut, what it returns, and that a
// capacity out of range leaves the destination alone.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>

#include "platform/text.h"

namespace {

const plr_char kUntouched = u'#';

// A buffer filled with a marker, to see exactly which units were written.
struct Buffer {
    explicit Buffer(std::size_t units) : data(units, kUntouched) {}
    plr_char *get() { return &data[0]; }
    std::u16string text() const { return std::u16string(data.c_str()); }
    std::u16string data;
};

// ------------------------------------------------------------- plrFormat

TEST(TextFormat, FormatsEveryConversion) {
    Buffer out(128);
    EXPECT_EQ(plrFormat(out.get(), 128, u"%s|%d|%d|%u|%d|100%%", u"name", -42, INT_MIN, 4294967295u, 0), PLR_TEXT_OK);
    EXPECT_EQ(out.text(), u"name|-42|-2147483648|4294967295|0|100%");
}

TEST(TextFormat, NullStringAndUnknownConversionAreHarmless) {
    Buffer out(64);
    EXPECT_EQ(plrFormat(out.get(), 64, u"[%s] %x %", static_cast<const plr_char *>(nullptr)), PLR_TEXT_OK);
    EXPECT_EQ(out.text(), u"[] %x ");
}

TEST(TextFormat, TextOfExactlyCapacityMinusOneFits) {
    Buffer out(8);
    EXPECT_EQ(plrFormat(out.get(), 6, u"%s%d", u"abc", 12), PLR_TEXT_OK);
    EXPECT_EQ(out.data.substr(0, 7), std::u16string(u"abc12\0#", 7));
}

TEST(TextFormat, LongerTextIsCutAtItsEndAndTerminatedInTheLastUnit) {
    Buffer out(8);
    EXPECT_EQ(plrFormat(out.get(), 6, u"%s%d", u"abc", 123), PLR_TEXT_TRUNCATE);
    // n-1 units written, the n-th is the terminator, nothing beyond.
    EXPECT_EQ(out.data.substr(0, 7), std::u16string(u"abc12\0#", 7));

    Buffer cutNumber(8);
    EXPECT_EQ(plrFormat(cutNumber.get(), 4, u"%d", -98765), PLR_TEXT_TRUNCATE);
    EXPECT_EQ(cutNumber.text(), u"-98");
}

TEST(TextFormat, CapacityOneHoldsOnlyTheTerminator) {
    Buffer out(4);
    EXPECT_EQ(plrFormat(out.get(), 1, u"x"), PLR_TEXT_TRUNCATE);
    EXPECT_EQ(out.data, std::u16string(u"\0###", 4));

    Buffer empty(4);
    EXPECT_EQ(plrFormat(empty.get(), 1, u""), PLR_TEXT_OK);
    EXPECT_EQ(empty.data, std::u16string(u"\0###", 4));
}

TEST(TextFormat, CapacityOutOfRangeOrNullArgumentsWriteNothing) {
    Buffer out(4);
    EXPECT_EQ(plrFormat(out.get(), 0, u"x"), PLR_TEXT_EINVAL);
    EXPECT_EQ(plrFormat(out.get(), static_cast<std::size_t>(INT_MAX) + 1, u"x"), PLR_TEXT_EINVAL);
    EXPECT_EQ(plrFormat(out.get(), 4, nullptr), PLR_TEXT_EINVAL);
    EXPECT_EQ(out.data, u"####");
    EXPECT_EQ(plrFormat(nullptr, 4, u"x"), PLR_TEXT_EINVAL);
}

TEST(TextFormat, LargestCapacityIsAccepted) {
    Buffer out(8);
    EXPECT_EQ(plrFormat(out.get(), static_cast<std::size_t>(INT_MAX), u"%d", 7), PLR_TEXT_OK);
    EXPECT_EQ(out.text(), u"7");
}

// --------------------------------------------------------------- plrCopy

TEST(TextCopy, CopiesWhenTheTerminatorFits) {
    Buffer out(8);
    EXPECT_EQ(plrCopy(out.get(), 4, u"abc"), PLR_TEXT_OK);
    EXPECT_EQ(out.data.substr(0, 5), std::u16string(u"abc\0#", 5));
    EXPECT_EQ(plrCopy(out.get(), 1, u""), PLR_TEXT_OK);
    EXPECT_EQ(out.text(), u"");
}

TEST(TextCopy, TooLongSourceEmptiesTheDestination) {
    Buffer out(8);
    EXPECT_EQ(plrCopy(out.get(), 3, u"abc"), PLR_TEXT_EINVAL);
    EXPECT_EQ(out.text(), u"");
    // Nothing written past the capacity.
    EXPECT_EQ(out.data[3], kUntouched);
}

TEST(TextCopy, NullSourceEmptiesAndBadCapacityLeavesAlone) {
    Buffer out(4);
    EXPECT_EQ(plrCopy(out.get(), 4, nullptr), PLR_TEXT_EINVAL);
    EXPECT_EQ(out.data, std::u16string(u"\0###", 4));

    Buffer alone(4);
    EXPECT_EQ(plrCopy(alone.get(), 0, u"a"), PLR_TEXT_EINVAL);
    EXPECT_EQ(plrCopy(alone.get(), static_cast<std::size_t>(INT_MAX) + 1, u"a"), PLR_TEXT_EINVAL);
    EXPECT_EQ(alone.data, u"####");
    EXPECT_EQ(plrCopy(nullptr, 4, u"a"), PLR_TEXT_EINVAL);
}

// ------------------------------------------------------ plrEqual, plrLen

TEST(TextCompare, EqualComparesEveryUnitAndTheLength) {
    EXPECT_TRUE(plrEqual(u"Root Group", u"Root Group"));
    EXPECT_TRUE(plrEqual(u"", u""));
    EXPECT_FALSE(plrEqual(u"Root Group", u"root group"));  // case counts
    EXPECT_FALSE(plrEqual(u"Group 1", u"Group 10"));       // a prefix is not equal
    EXPECT_FALSE(plrEqual(u"Group 10", u"Group 1"));
    // Units beyond the 8-bit range are compared whole.
    EXPECT_FALSE(plrEqual(u"\u0141", u"\u0041"));
    EXPECT_TRUE(plrEqual(u"\u0141\U0001F600", u"\u0141\U0001F600"));
}

TEST(TextCompare, NullEqualsOnlyNull) {
    EXPECT_TRUE(plrEqual(nullptr, nullptr));
    EXPECT_FALSE(plrEqual(nullptr, u""));
    EXPECT_FALSE(plrEqual(u"", nullptr));
}

TEST(TextCompare, LengthCountsUnitsUpToTheTerminator) {
    EXPECT_EQ(plrLen(nullptr), 0u);
    EXPECT_EQ(plrLen(u""), 0u);
    EXPECT_EQ(plrLen(u"ab\0cd"), 2u);
    EXPECT_EQ(plrLen(u"\U0001F600"), 2u);  // a surrogate pair is two units
}

}  // namespace

// Name collation, text conversion and date conversion.
#include "base/datetime.h"
#include "base/text.h"
#include "engine/collation.h"

#include <gtest/gtest.h>

using namespace qz;

TEST(Collation, FoldsCaseAndAccents) {
    EXPECT_EQ(CompareNames(u"Élan", u"elan"), 0);
    EXPECT_GT(CompareNames(u"b", u"A"), 0);
    EXPECT_LT(CompareNames(u"a", u"B"), 0);
    EXPECT_EQ(CompareNames(u"Report.DOC", u"report.doc"), 0);
    // A prefix sorts first; nil handling.
    EXPECT_LT(CompareNames(u"abc", u"abcd"), 0);
    EXPECT_GT(CompareNames(u"abcd", u"abc"), 0);
    EXPECT_EQ(CompareNames(static_cast<const char16_t*>(nullptr), nullptr), 0);
    EXPECT_EQ(CompareNames(u"a", nullptr), 1);
    EXPECT_EQ(CompareNames(nullptr, u"a"), -1);
    // The length-based overload agrees with the NUL-terminated one.
    for (auto [a, b] : {std::pair{u"abc", u"abd"}, {u"abc", u"ab"}, {u"x", u"xyz"}, {u"Ñu", u"nu"}})
        EXPECT_EQ(CompareNames(std::u16string_view(a), std::u16string_view(b)) < 0,
                  CompareNames(a, b) < 0);
}

TEST(Text, Utf8RoundTripIsLosslessForInvalidBytes) {
    const std::string cases[] = {"plain",
                                 "Grüße",
                                 "日本語",
                                 "emoji \xF0\x9F\x98\x80",
                                 "bad \xFF\xFE end",
                                 "trunc \xE2\x82",
                                 "overlong \xC0\xAF",
                                 "surrogate \xED\xA0\x80",
                                 std::string("nul\0inside", 10)};
    for (const std::string& s : cases) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s) << s;
    EXPECT_EQ(Utf8ToUtf16("\xFF"), std::u16string(1, char16_t(0xDCFF)));
    EXPECT_EQ(Utf8ToUtf16("\xC3\xA9"), u"é");
}

TEST(DateTime, FileTimeConversion) {
    EXPECT_EQ(FileTimeToDateTime(0), kDate1601);
    // 2024-05-01 12:00:00 UTC
    const uint64_t ft = (1714564800ull + 11644473600ull) * 10000000ull;
    TDateParts p;
    ASSERT_TRUE(DecodeDateTime(FileTimeToDateTime(ft), p));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 5);
    EXPECT_EQ(p.day, 1);
    EXPECT_EQ(p.hour, 12);
    EXPECT_EQ(DateTimeToUnix(FileTimeToDateTime(ft)), 1714564800);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1714564800)), 1714564800);
    // Not a calendar time / beyond year 9999.
    EXPECT_EQ(FileTimeToDateTime(0x8000000000000000ull), kDate1601);
    EXPECT_EQ(FileTimeToDateTime(0x7FFFFFFFFFFFFFFFull), kDate1601);
    // Before 1899-12-30 the time of day is subtracted.
    TDateTime d;
    ASSERT_TRUE(TryEncodeDateTime({1899, 12, 29, 6, 0, 0, 0}, d));
    EXPECT_DOUBLE_EQ(d, -1.25);
    ASSERT_TRUE(DecodeDateTime(-1.25, p));
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
}

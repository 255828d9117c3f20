// Syntax colouring of the filter boxes: which characters are drawn in the highlight colour.
#include "filters/filters.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

// "." for plain, "#" for highlighted code units.
std::string Mask(std::u16string_view text) {
    std::string out;
    for (bool b : FilterHighlightMask(text)) out.push_back(b ? '#' : '.');
    return out;
}

TEST(FilterColour, HighlightFromMarkerToEndOfTerm) {
    const struct {
        std::u16string_view text;
        std::string mask;
    } cases[] = {
        {u"*.txt >10M", "......####"},
        {u"s>5", "###"},
        {u"S=folders x", "#########.."},
        {u"namelen>100", "###########"},
        {u"PathLen<=260 a", "############.."},
        {u"dupcount>0", "##########"},
        {u"DUPSIZE>1k", "##########"},
        {u"a>=1M", "#####"},
        {u"!*.tmp", "######"},
        {u"/\\d+/ x", "#####.."},
        {u"x|>1k", "..###"}, // from the marker, inside the term
        {u"> 5", "..."},     // a marker followed by a space is not one
        {u"abc>", "...."},   // nor one at the end of the text
        {u"as>1", ".###"},   // "s" right before the operator
        {u"namelen >1", "........##"},
        {u"\"a>b\"", "....."}, // inside quotes the colour does not change
        {u">1 \"a>b\" c", "##........"},
        {u">\"a b\" c", "######.."}, // the quoted space keeps the colour
        {u"x \"y", "...."},
        {u"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Mask(c.text), c.mask) << std::string(c.text.begin(), c.text.end());
}

TEST(FilterColour, RunsJoinUnitsOfOneColour) {
    auto runs = FilterColourRuns(u"*.txt >10M");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].start, 0u);
    EXPECT_EQ(runs[0].length, 6u);
    EXPECT_FALSE(runs[0].highlight);
    EXPECT_EQ(runs[1].start, 6u);
    EXPECT_EQ(runs[1].length, 4u);
    EXPECT_TRUE(runs[1].highlight);
    // A surrogate pair is never split between runs.
    std::u16string emoji = u"\U0001F600>1 \U0001F600";
    for (const auto& r : FilterColourRuns(emoji)) {
        EXPECT_FALSE(r.start > 0 && emoji[r.start] >= 0xDC00 && emoji[r.start] <= 0xDFFF);
    }
    EXPECT_TRUE(FilterColourRuns(u"").empty());
}

TEST(FilterColour, ArabicTextAndTheColour) {
    EXPECT_TRUE(FilterTextColourable(u"*.txt >1M"));
    EXPECT_FALSE(FilterTextColourable(u"\u0627\u0644 >1M"));
    EXPECT_FALSE(FilterTextColourable(u"x\uFB50"));
    EXPECT_FALSE(FilterTextColourable(u"x\uFEFC"));
    EXPECT_TRUE(FilterTextColourable(u"x\uFEFD"));
    EXPECT_EQ(FilterHighlightColour(), 0x00A0A0u); // teal, a quarter lighter
}

} // namespace

#include "common/ResText.h"

#include <gtest/gtest.h>

using namespace wdx::common;

namespace {
const TStringTable Table{
    {1001, "Corvanta Component Adapters"},
    {1002, ""},
    {2009, "Invalid return: %d - %s\nClick OK to continue, Cancel to disconnect."},
    {3000, "\xc3\xa9t\xc3\xa9"}, // UTF-8 text widens correctly
};
std::u16string U(const char16_t* s) {
    return s;
}
} // namespace

TEST(LoadResText, MissingAndEmptyIdsGiveTheFixedText) {
    EXPECT_EQ(LoadResText(Table, 1007), U(u"Cannot find resource string"));
    EXPECT_EQ(LoadResText(Table, 1002), U(u"Cannot find resource string"));
    EXPECT_EQ(LoadResText(Table, 1001), U(u"Corvanta Component Adapters"));
}

TEST(LoadResText, KeepsLineFeedsAndWidensUtf8) {
    std::u16string t = LoadResText(Table, 2009);
    ASSERT_NE(t.find(u'\n'), std::u16string::npos);
    EXPECT_EQ(t.substr(t.find(u'\n') + 1), U(u"Click OK to continue, Cancel to disconnect."));
    EXPECT_EQ(LoadResText(Table, 3000), U(u"\u00e9t\u00e9"));
}

TEST(LoadResText, CutsAt127Characters) {
    std::string longText(200, 'x');
    std::string exact(127, 'y');
    // A surrogate pair straddling the cut is dropped whole.
    std::string straddle = std::string(126, 'z') + "\xf0\x9f\x98\x80" + "tail";
    TStringTable t{{1, longText}, {2, exact}, {3, straddle}};
    EXPECT_EQ(LoadResText(t, 1), std::u16string(127, u'x'));
    EXPECT_EQ(LoadResText(t, 2), std::u16string(127, u'y'));
    EXPECT_EQ(LoadResText(t, 3), std::u16string(126, u'z'));
}

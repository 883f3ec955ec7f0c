// The converter against the cases that decide how many U+FFFD a broken
// sequence becomes, and (on Linux) against ICU over random bytes: the two
// must agree unit for unit, since the programs moved from one to the other.
#include "unicode/Utf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#ifdef WDX_UTF_COMPARE_ICU
#include <unicode/ustring.h>
#endif

using namespace wdx::unicode;

namespace {

std::u16string Fffd(std::size_t Count) {
    return std::u16string(Count, u'\xFFFD');
}

// The Pad characters on either side of the Length in the middle of Room are
// still all Guard.
template <class Char> bool PadsKept(const std::basic_string<Char>& Room, std::size_t Length, Char Guard) {
    const std::size_t Pad = (Room.size() - Length) / 2;
    const std::basic_string<Char> Pads(Pad, Guard);
    return Room.substr(0, Pad) == Pads && Room.substr(Pad + Length) == Pads;
}

TEST(Utf, WellFormedTextRoundTrips) {
    const std::string text = "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD"; // ë € 😀 中
    const std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"Zo\u00EB \u20AC \U0001F600 \u4E2D");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf16Length(text), wide.size());
    EXPECT_TRUE(IsValidUtf8(text));
    // Zero characters are text like any other.
    const std::string zeros("a\0b\0", 4);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(zeros)), zeros);
}

TEST(Utf, AsciiIsCopiedAndAnythingElseAtAnyPlaceIsTold) {
    // Every length through two steps of sixteen and a tail, so that each
    // step and each overlapping last step is taken, one character beyond
    // ASCII (or none) at every place: the copy is the text, the answer says
    // whether it was all ASCII, and the general conversions agree. On a
    // failure the ASCII before that character is copied all the same (the
    // general conversion builds on it). The text lies between characters
    // beyond ASCII, so that reading past either end changes the answer, and
    // the copy between guards, so that writing past either end shows.
    constexpr std::size_t Pad = 16;
    const char16_t WideGuard = u'\xfffe';
    const char NarrowGuard = '#';
    for (std::size_t Length = 0; Length <= 40; ++Length)
        for (std::size_t At = 0; At <= Length; ++At)
            for (const char16_t Unit : {u'\x7f', u'\x80', u'\xff', u'\x100', u'\xff41'}) {
                std::u16string WideRoom(Pad + Length + Pad, u'\x80');
                char16_t* const Wide = WideRoom.data() + Pad;
                for (std::size_t I = 0; I < Length; ++I)
                    Wide[I] = char16_t(u'a' + I % 26);
                const bool Ascii = At == Length || Unit < 0x80;
                if (At < Length)
                    Wide[At] = Unit;
                const std::u16string_view WideText(Wide, Length);
                const std::size_t AsciiLength = Ascii ? Length : At;
                std::string Expected(AsciiLength, '\0');
                for (std::size_t I = 0; I < AsciiLength; ++I)
                    Expected[I] = char(Wide[I]);

                std::string NarrowRoom(Pad + Length + Pad, NarrowGuard);
                char* const Narrow = NarrowRoom.data() + Pad;
                EXPECT_EQ(NarrowAscii(WideText, Narrow), Ascii) << Length << " " << At;
                EXPECT_EQ(std::string_view(Narrow, AsciiLength), Expected) << Length << " " << At;
                EXPECT_TRUE(PadsKept(NarrowRoom, Length, NarrowGuard)) << Length << " " << At;
                EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(WideText)), WideText) << Length << " " << At;
                if (!Ascii)
                    continue;
                EXPECT_EQ(Utf16ToUtf8(WideText), Expected);

                // Back again, the UTF-8 between bytes beyond ASCII.
                for (std::size_t I = 0; I < Pad; ++I)
                    NarrowRoom[I] = NarrowRoom[Pad + Length + I] = '\x80';
                std::u16string BackRoom(Pad + Length + Pad, WideGuard);
                char16_t* const Back = BackRoom.data() + Pad;
                const std::string_view NarrowText(Narrow, Length);
                EXPECT_TRUE(WidenAscii(NarrowText, Back)) << Length << " " << At;
                EXPECT_EQ(std::u16string_view(Back, Length), WideText) << Length << " " << At;
                EXPECT_TRUE(PadsKept(BackRoom, Length, WideGuard)) << Length << " " << At;
                if (At == Length)
                    continue;
                for (const char Byte : {'\x80', '\xc3', '\xff'}) {
                    Narrow[At] = Byte;
                    std::fill(Back, Back + Length, WideGuard);
                    EXPECT_FALSE(WidenAscii(NarrowText, Back)) << Length << " " << At;
                    EXPECT_EQ(std::u16string_view(Back, At), WideText.substr(0, At)) << Length << " " << At;
                    EXPECT_TRUE(PadsKept(BackRoom, Length, WideGuard)) << Length << " " << At;
                }
            }
}

TEST(Utf, EachMaximalIllFormedSubpartIsOneReplacement) {
    struct Case {
        std::string Bytes;
        std::u16string Wide;
    } cases[] = {
        {"\x80", Fffd(1)},     // a lone trail byte
        {"\xE2\x82", Fffd(1)}, // a sequence cut off at the end
        {"\xE2\x82"
         "A",
         Fffd(1) + u"A"},              // ... or by a byte that starts anew
        {"\xC0\xAF", Fffd(2)},         // overlong: neither byte can start
        {"\xE0\x80\xAF", Fffd(3)},     // overlong three-byte form
        {"\xED\xA0\x80", Fffd(3)},     // a surrogate spelt in UTF-8
        {"\xF4\x90\x80\x80", Fffd(4)}, // past U+10FFFF
        {"\xF0\x9F\x98", Fffd(1)},     // four-byte start, cut off
        {"\xF5", Fffd(1)},
        {"\xFF\xFE", Fffd(2)},
        {"\xEF\xBF\xBD", Fffd(1)}, // a real U+FFFD is text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.Bytes), c.Wide) << testing::PrintToString(c.Bytes);
        EXPECT_EQ(Utf16Length(c.Bytes), c.Wide.size()) << testing::PrintToString(c.Bytes);
        EXPECT_EQ(IsValidUtf8(c.Bytes), c.Bytes == "\xEF\xBF\xBD") << testing::PrintToString(c.Bytes);
    }
}

TEST(Utf, LoneSurrogatesInUtf16BecomeOneReplacementEach) {
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD83D)}), "\xEF\xBF\xBD"); // cut off at the end
}

#ifdef WDX_UTF_COMPARE_ICU
std::u16string IcuToUtf16(const std::string& Text) {
    std::u16string out(Text.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &length, Text.data(), int32_t(Text.size()), 0xFFFD,
                         nullptr, &status);
    out.resize(U_SUCCESS(status) ? std::size_t(length) : 0);
    return out;
}

std::string IcuToUtf8(const std::u16string& Text) {
    std::string out(Text.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), int32_t(out.size()), &length, Text.data(), int32_t(Text.size()), 0xFFFD,
                       nullptr, &status);
    out.resize(U_SUCCESS(status) ? std::size_t(length) : 0);
    return out;
}

TEST(Utf, AgreesWithIcuOnRandomBytes) {
    std::mt19937 random(20261209);
    // Bytes drawn mostly from the lead and trail ranges, where the decisions are.
    const unsigned char pool[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                  0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                  0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& b : bytes)
            b = char(random() % 4 == 0 ? random() % 256 : pool[random() % sizeof pool]);
        ASSERT_EQ(Utf8ToUtf16(bytes), IcuToUtf16(bytes)) << testing::PrintToString(bytes);
        // ASCII first, as long as the ASCII copy's wide steps, then any units.
        std::u16string units(random() % 33, u'\0');
        for (char16_t& u : units)
            u = char16_t(random() % 0x80);
        for (std::size_t tail = random() % 8; tail > 0; --tail)
            units.push_back(char16_t(random() % 3 == 0 ? 0xD800 + random() % 0x800 : random() % 0x10000));
        ASSERT_EQ(Utf16ToUtf8(units), IcuToUtf8(units));
    }
}
#endif

} // namespace

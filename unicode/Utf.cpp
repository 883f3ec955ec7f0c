#include "unicode/Utf.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wdx::unicode {

namespace {

bool IsTrail(unsigned char Byte) {
    return (Byte & 0xC0) == 0x80;
}

// The range of the second byte after a lead byte; every further byte is a
// plain trail byte (0x80-0xBF). These ranges leave out overlong forms,
// surrogates and code points past U+10FFFF.
struct TLead {
    int Trails = -1; // -1: the byte cannot start a sequence
    unsigned char Low = 0x80, High = 0xBF;
};

TLead LeadOf(unsigned char Byte) {
    if (Byte >= 0xC2 && Byte <= 0xDF)
        return {1};
    if (Byte == 0xE0)
        return {2, 0xA0, 0xBF};
    if (Byte == 0xED)
        return {2, 0x80, 0x9F};
    if (Byte >= 0xE1 && Byte <= 0xEF)
        return {2};
    if (Byte == 0xF0)
        return {3, 0x90, 0xBF};
    if (Byte == 0xF4)
        return {3, 0x80, 0x8F};
    if (Byte >= 0xF1 && Byte <= 0xF3)
        return {3};
    return {};
}

void AppendUtf16(std::u16string& Out, char32_t CodePoint) {
    if (CodePoint < 0x10000) {
        Out.push_back(char16_t(CodePoint));
    } else {
        CodePoint -= 0x10000;
        Out.push_back(char16_t(0xD800 + (CodePoint >> 10)));
        Out.push_back(char16_t(0xDC00 + (CodePoint & 0x3FF)));
    }
}

} // namespace

char32_t NextCodePoint(std::string_view Utf8, std::size_t& At) {
    const auto byte = [&](std::size_t I) { return static_cast<unsigned char>(Utf8[I]); };
    const unsigned char lead = byte(At++);
    if (lead < 0x80)
        return lead;
    const TLead form = LeadOf(lead);
    if (form.Trails < 0)
        return Replacement;
    char32_t code = lead & (0xFF >> (form.Trails + 2));
    for (int i = 0; i < form.Trails; ++i) {
        if (At >= Utf8.size())
            return Replacement;
        const unsigned char next = byte(At);
        const bool fits = i == 0 ? next >= form.Low && next <= form.High : IsTrail(next);
        if (!fits)
            return Replacement; // the byte that broke the sequence is read again
        code = (code << 6) | (next & 0x3F);
        ++At;
    }
    return code;
}

void AppendUtf8(std::string& Out, char32_t CodePoint) {
    if ((CodePoint >= 0xD800 && CodePoint <= 0xDFFF) || CodePoint > 0x10FFFF)
        CodePoint = Replacement;
    if (CodePoint < 0x80) {
        Out.push_back(char(CodePoint));
    } else if (CodePoint < 0x800) {
        Out.push_back(char(0xC0 | (CodePoint >> 6)));
        Out.push_back(char(0x80 | (CodePoint & 0x3F)));
    } else if (CodePoint < 0x10000) {
        Out.push_back(char(0xE0 | (CodePoint >> 12)));
        Out.push_back(char(0x80 | ((CodePoint >> 6) & 0x3F)));
        Out.push_back(char(0x80 | (CodePoint & 0x3F)));
    } else {
        Out.push_back(char(0xF0 | (CodePoint >> 18)));
        Out.push_back(char(0x80 | ((CodePoint >> 12) & 0x3F)));
        Out.push_back(char(0x80 | ((CodePoint >> 6) & 0x3F)));
        Out.push_back(char(0x80 | (CodePoint & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view Utf8) {
    std::u16string out;
    out.reserve(Utf8.size()); // never more UTF-16 units than bytes
    std::size_t at = 0;
    while (at < Utf8.size()) {
        // Plain ASCII runs are the common case.
        if (static_cast<unsigned char>(Utf8[at]) < 0x80) {
            out.push_back(char16_t(Utf8[at++]));
            continue;
        }
        AppendUtf16(out, NextCodePoint(Utf8, at));
    }
    return out;
}

bool WidenAscii(std::string_view Text, char16_t* Out) {
    const std::size_t n = Text.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time (eight for a text shorter than sixteen), each
    // byte zero-extended into its unit. The last step ends at the end of the
    // text and overlaps the one before, writing the same units again: no
    // byte past the text is read and no unit past it written. A byte from
    // 0x80 up has its top bit set, which the mask of all steps shows.
    if (n >= 8) {
        const __m128i zero = _mm_setzero_si128();
        __m128i any = zero;
        if (n >= 16) {
            auto sixteen = [&](std::size_t At) {
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + At));
                any = _mm_or_si128(any, b);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + At), _mm_unpacklo_epi8(b, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + At + 8), _mm_unpackhi_epi8(b, zero));
            };
            for (std::size_t i = 0; i + 16 < n; i += 16)
                sixteen(i);
            sixteen(n - 16);
        } else {
            const __m128i first = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Text.data()));
            const __m128i last = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Text.data() + n - 8));
            any = _mm_or_si128(first, last);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), _mm_unpacklo_epi8(first, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + n - 8), _mm_unpacklo_epi8(last, zero));
        }
        return _mm_movemask_epi8(any) == 0;
    }
#endif
    // Four bytes at a time into four units (the units' byte order is the
    // machine's), the last four overlapping those before; a text shorter
    // than that one by one.
    std::uint32_t any = 0;
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 4) {
            auto four = [&](std::size_t At) {
                std::uint32_t b;
                std::memcpy(&b, Text.data() + At, 4);
                any |= b;
                std::uint64_t u = b;
                u = (u | (u << 16)) & 0x0000ffff0000ffffu;
                u = (u | (u << 8)) & 0x00ff00ff00ff00ffu;
                std::memcpy(Out + At, &u, 8);
            };
            for (std::size_t i = 0; i + 4 < n; i += 4)
                four(i);
            four(n - 4);
            return (any & 0x80808080u) == 0;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(Text[i]);
        any |= c;
        Out[i] = char16_t(c);
    }
    return (any & 0x80808080u) == 0;
}

namespace {
// NarrowAscii, also made part of Utf16ToUtf8, whose common case it is.
[[gnu::always_inline]] inline bool NarrowAsciiHere(std::u16string_view Text, char* Out) {
    const std::size_t n = Text.size();
#if defined(__SSE2__)
    // Sixteen units at a time (eight for a text shorter than sixteen) packed
    // into bytes, the last step overlapping the one before as in WidenAscii.
    // The pack saturates, so a unit past 0xFF gives some other byte; an
    // ASCII unit always gives its own, which is all that is promised.
    if (n >= 8) {
        __m128i any;
        if (n >= 16) {
            any = _mm_setzero_si128();
            auto sixteen = [&](std::size_t At) {
                const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + At));
                const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + At + 8));
                any = _mm_or_si128(any, _mm_or_si128(low, high));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + At), _mm_packus_epi16(low, high));
            };
            for (std::size_t i = 0; i + 16 < n; i += 16)
                sixteen(i);
            sixteen(n - 16);
        } else {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data()));
            const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + n - 8));
            any = _mm_or_si128(first, last);
            const __m128i bytes = _mm_packus_epi16(first, last);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Out), bytes);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + n - 8), _mm_unpackhi_epi64(bytes, bytes));
        }
        // ASCII when no unit has a bit set above the low seven.
        const __m128i beyond = _mm_and_si128(any, _mm_set1_epi16(std::int16_t(0xff80)));
        return _mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) == 0xffff;
    }
#endif
    std::uint64_t any = 0;
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 4) {
            auto four = [&](std::size_t At) {
                std::uint64_t u;
                std::memcpy(&u, Text.data() + At, 8);
                any |= u;
                u &= 0x00ff00ff00ff00ffu;
                u = (u | (u >> 8)) & 0x0000ffff0000ffffu;
                u = (u | (u >> 16)) & 0xffffffffu;
                const auto b = static_cast<std::uint32_t>(u);
                std::memcpy(Out + At, &b, 4);
            };
            for (std::size_t i = 0; i + 4 < n; i += 4)
                four(i);
            four(n - 4);
            return (any & 0xff80ff80ff80ff80u) == 0;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        any |= Text[i];
        Out[i] = char(Text[i]);
    }
    return (any & 0xff80ff80ff80ff80u) == 0;
}

// The rest of Utf16ToUtf8 for a text that is not all ASCII: Out, as long as
// Utf16, starts with the ASCII before the first other unit, as NarrowAscii
// left it. Out of line, so that the common case does not pay for it.
[[gnu::noinline]] void ConvertBeyondAscii(std::u16string_view Utf16, std::string& Out) {
    std::size_t ascii = 0;
    while (Utf16[ascii] < 0x80)
        ++ascii;
    Out.resize(ascii);
    for (std::size_t i = ascii; i < Utf16.size(); ++i) {
        const char16_t unit = Utf16[i];
        if (unit < 0x80) {
            Out.push_back(char(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < Utf16.size() && Utf16[i + 1] >= 0xDC00 &&
                   Utf16[i + 1] <= 0xDFFF) {
            AppendUtf8(Out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(Utf16[i + 1]) - 0xDC00));
            ++i;
        } else {
            AppendUtf8(Out, unit); // a lone surrogate becomes U+FFFD there
        }
    }
}
} // namespace

bool NarrowAscii(std::u16string_view Text, char* Out) {
    return NarrowAsciiHere(Text, Out);
}

std::string Utf16ToUtf8(std::u16string_view Utf16) {
    // Most texts are ASCII: those are narrowed without the checks above.
    std::string out(Utf16.size(), '\0');
    if (!NarrowAsciiHere(Utf16, out.data()))
        ConvertBeyondAscii(Utf16, out);
    return out;
}

bool IsValidUtf8(std::string_view Utf8) {
    std::size_t at = 0;
    while (at < Utf8.size()) {
        if (static_cast<unsigned char>(Utf8[at]) < 0x80) {
            ++at;
            continue;
        }
        const std::size_t start = at;
        const char32_t code = NextCodePoint(Utf8, at);
        // A real U+FFFD takes three bytes; a replaced subpart is reported by
        // what it consumed instead.
        if (code == Replacement && (at - start != 3 || Utf8.substr(start, 3) != "\xEF\xBF\xBD"))
            return false;
    }
    return true;
}

std::size_t Utf16Length(std::string_view Utf8) {
    std::size_t units = 0, at = 0;
    while (at < Utf8.size())
        units += NextCodePoint(Utf8, at) >= 0x10000 ? 2 : 1;
    return units;
}

} // namespace wdx::unicode

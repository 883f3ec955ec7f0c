#pragma once
// A quick parser for answers in the form brokers write them: JSON whose texts
// hold no escapes, whose numbers are integers of at most 18 digits, and
// nothing else. It drives a handler of RapidJSON's SAX interface with the very
// calls, in the very order, RapidJSON's reader makes for such an answer, and
// gives up at the first byte outside that form, faults of the form included.
// An answer it gives up on is read again from its start by the full reader,
// whose verdict and message stand; so what counts as a valid answer, and what
// every fault says, is the full reader's alone.
//
// It also keeps the nesting check: an array or object deeper than MaxDepth
// ends the parse with TooDeep. Up to where it stops, the quick parser sees
// exactly the brackets the nesting check counts (texts without escapes end at
// their next quote for both), so TooDeep is that check's verdict; Done means
// no level anywhere in Body was deeper.
//
// A handler may also read a whole object itself (WholeObject, below): the
// quick parser offers it every object first, and goes on after it when the
// handler took it.
//
// Texts are handed over as their bytes stand, UTF-8 unchecked. Outside texts
// a byte beyond ASCII is outside the form; so when the parse is Done, a
// handler with TextsBeyondAscii(bool) hears whether a text the parser read
// held one (texts a handler read whole are its own to watch).
//
// Needs no terminating NUL and never reads outside Body.

#include <climits>
#include <cstddef>
#include <string_view>

namespace wdx::statshost::reader {

// What a handler's WholeObject(const char*& At, const char* End) did with the
// object whose '{' At is on.
enum class TWholeObject {
    Declined, // nothing read, nothing called: the parser reads it
    Read,     // read to its end; At is after its '}'
    Stopped,  // the handler holds the verdict
};

enum class TPlainParse {
    Done,    // all of Body read, every call returned true
    Stopped, // a call returned false: the handler holds the verdict
    GaveUp,  // outside the form, or not JSON: for the full reader
    TooDeep, // an array or object at a level deeper than MaxDepth
};

template <class Handler>
TPlainParse ParsePlainJson(std::string_view Body, Handler& H, int MaxDepth = INT_MAX) {
    constexpr int MaxOpen = 64; // deeper than any answer the nesting check lets through
    // Opening one more level at depth D makes it D + 1.
    auto cannotOpen = [&](int D) { return D >= MaxDepth ? TPlainParse::TooDeep : TPlainParse::GaveUp; };
    bool inObject[MaxOpen];
    int depth = 0;
    const char* p = Body.data();
    const char* const end = p + Body.size();

    auto blanks = [&] {
        // Brokers write none: one look at the next byte is the common case.
        if (p != end && static_cast<unsigned char>(*p) > ' ')
            return;
        while (p != end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t'))
            ++p;
    };
    // A text without escapes and control characters; p is on its opening
    // quote, and is left after its closing one. Its UTF-8 is not checked
    // here: the handler hears whether any text held a byte beyond ASCII.
    unsigned beyond = 0;
    auto text = [&](std::string_view& Out) {
        const char* from = ++p;
        while (p != end) {
            const auto c = static_cast<unsigned char>(*p);
            beyond |= c;
            if (c == '"') {
                Out = std::string_view(from, static_cast<std::size_t>(p - from));
                ++p;
                return true;
            }
            if (c < 0x20 || c == '\\')
                return false;
            ++p;
        }
        return false;
    };
    auto word = [&](std::string_view W) {
        if (static_cast<std::size_t>(end - p) < W.size() || std::string_view(p, W.size()) != W)
            return false;
        p += W.size();
        return true;
    };

    std::string_view s;
value:
    blanks();
    if (p == end)
        return TPlainParse::GaveUp;
    switch (*p) {
    case '{':
        if (depth == MaxOpen || depth >= MaxDepth)
            return cannotOpen(depth);
        if constexpr (requires(const char* At) { H.WholeObject(At, end); }) {
            const TWholeObject whole = H.WholeObject(p, end);
            if (whole == TWholeObject::Read)
                goto after;
            if (whole == TWholeObject::Stopped)
                return TPlainParse::Stopped;
        }
        if (!H.StartObject())
            return TPlainParse::Stopped;
        inObject[depth++] = true;
        ++p;
        blanks();
        if (p != end && *p == '}') {
            ++p;
            --depth;
            if (!H.EndObject(0))
                return TPlainParse::Stopped;
            goto after;
        }
        goto key;
    case '[':
        if (depth == MaxOpen || depth >= MaxDepth)
            return cannotOpen(depth);
        if (!H.StartArray())
            return TPlainParse::Stopped;
        inObject[depth++] = false;
        ++p;
        blanks();
        if (p != end && *p == ']') {
            ++p;
            --depth;
            if (!H.EndArray(0))
                return TPlainParse::Stopped;
            goto after;
        }
        goto value;
    case '"':
        if (!text(s))
            return TPlainParse::GaveUp;
        if (!H.String(s.data(), static_cast<unsigned>(s.size()), true))
            return TPlainParse::Stopped;
        goto after;
    case 't':
        if (!word("true"))
            return TPlainParse::GaveUp;
        if (!H.Bool(true))
            return TPlainParse::Stopped;
        goto after;
    case 'f':
        if (!word("false"))
            return TPlainParse::GaveUp;
        if (!H.Bool(false))
            return TPlainParse::Stopped;
        goto after;
    case 'n':
        if (!word("null"))
            return TPlainParse::GaveUp;
        if (!H.Null())
            return TPlainParse::Stopped;
        goto after;
    default: {
        // -?(0|[1-9][0-9]*), ended where the full reader ends it.
        const char* from = p;
        if (*p == '-')
            ++p;
        if (p == end || *p < '0' || *p > '9')
            return TPlainParse::GaveUp;
        if (*p == '0')
            ++p;
        else
            while (p != end && *p >= '0' && *p <= '9')
                ++p;
        if (p - from > 18 || (p != end && (*p == '.' || *p == 'e' || *p == 'E')))
            return TPlainParse::GaveUp;
        if (!H.RawNumber(from, static_cast<unsigned>(p - from), true))
            return TPlainParse::Stopped;
        goto after;
    }
    }

key:
    blanks();
    if (p == end || *p != '"' || !text(s))
        return TPlainParse::GaveUp;
    if (!H.Key(s.data(), static_cast<unsigned>(s.size()), true))
        return TPlainParse::Stopped;
    blanks();
    if (p == end || *p != ':')
        return TPlainParse::GaveUp;
    ++p;
    goto value;

after:
    blanks();
    if (depth == 0) {
        if (p != end)
            return TPlainParse::GaveUp;
        if constexpr (requires { H.TextsBeyondAscii(true); })
            H.TextsBeyondAscii(beyond >= 0x80);
        return TPlainParse::Done;
    }
    if (p == end)
        return TPlainParse::GaveUp;
    if (*p == ',') {
        ++p;
        if (inObject[depth - 1])
            goto key;
        goto value;
    }
    if (*p == (inObject[depth - 1] ? '}' : ']')) {
        ++p;
        --depth;
        if (!(inObject[depth] ? H.EndObject(0) : H.EndArray(0)))
            return TPlainParse::Stopped;
        goto after;
    }
    return TPlainParse::GaveUp;
}

} // namespace wdx::statshost::reader

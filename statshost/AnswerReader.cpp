#include "statshost/AnswerReader.h"

#include "statshost/PlainJson.h"
#include "statshost/utf8/Utf8Check.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <optional>

namespace wdx::statshost::reader {

namespace {

using TClock = std::chrono::steady_clock;

const char* const MalformedPrefix = "Malformed answer from the broker: ";

// The clock is read once per this many events (a few hundred rows), so that
// a decode that cannot finish ends within a fraction of a millisecond of the
// deadline.
constexpr unsigned ClockEvery = 4096;
// ... and once per this many bytes of the nesting pre-scan.
constexpr std::size_t ScanClockEvery = 1u << 20;

struct TScan {
    bool DepthOk = true;
    bool TimedOut = false;
    // Objects directly inside an array directly inside the root object: the
    // rows of a list answer (and of any unknown list, hence only an upper
    // bound, and used as such).
    std::size_t Rows = 0;
};

TScan Scan(std::string_view Body, int MaxDepth, TClock::time_point Deadline) {
    TScan out;
    int depth = 0;
    std::uint64_t arrays = 0; // bit d set: the container at depth d is an array (d < 64)
    bool inString = false;
    const bool timed = Deadline != TClock::time_point::max();
    std::size_t nextClock = ScanClockEvery;
    for (std::size_t i = 0; i < Body.size(); ++i) {
        if (timed && i >= nextClock) {
            nextClock = i + ScanClockEvery;
            if (TClock::now() >= Deadline) {
                out.TimedOut = true;
                return out;
            }
        }
        if (inString) {
            // On to the string's end: the next quote that is not escaped,
            // that is, not after an odd number of backslashes. Most texts
            // are short names and keys: their first bytes are looked at
            // here, a longer rest by memchr.
            const std::size_t near = std::min(Body.size(), i + 24);
            while (i < near && Body[i] != '"')
                ++i;
            if (i == near) {
                const void* quote = std::memchr(Body.data() + i, '"', Body.size() - i);
                if (!quote)
                    break; // never closed: the parser will say so
                i = static_cast<std::size_t>(static_cast<const char*>(quote) - Body.data());
            }
            std::size_t backslashes = 0;
            while (Body[i - 1 - backslashes] == '\\')
                ++backslashes;
            inString = backslashes % 2 == 1;
            continue;
        }
        char c = Body[i];
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > MaxDepth) {
                out.DepthOk = false;
                return out;
            }
            if (depth > 0 && depth < 64) { // closers without openers may have taken it below 0
                std::uint64_t bit = std::uint64_t{1} << depth;
                arrays = c == '[' ? arrays | bit : arrays & ~bit;
            }
            if (c == '{' && depth == 3 && (arrays & 0b110) == 0b100)
                ++out.Rows;
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return out;
}

// The fewest bytes one row of this shape can take: every required member
// with the shortest value of its kind.
std::size_t MinRowBytes(const TShape& Shape) {
    std::size_t n = 2, members = 0;
    for (const TField& f : Shape.Fields) {
        if (!f.Required)
            continue;
        ++members;
        n += f.Key.size() + 3;
        switch (f.Kind) {
        case TFieldKind::Int:
            n += 1;
            break;
        case TFieldKind::Text:
        case TFieldKind::List:
        case TFieldKind::Object:
            n += 2;
            break;
        case TFieldKind::Name:
            n += 3;
            break;
        case TFieldKind::Bool:
            n += 4;
            break;
        }
    }
    return n + (members > 0 ? members - 1 : 0);
}

std::string FloatText(double V) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", V);
    return buf;
}

// Member names are short: compared here, a few bytes at a time, rather
// than through a call. The words of 4 and 8 bytes overlap in the middle.
template <class TWord> TWord WordAt(const char* P) {
    TWord w;
    std::memcpy(&w, P, sizeof w);
    return w;
}
inline bool SameKey(std::string_view A, std::string_view B) {
    const std::size_t n = A.size();
    if (n != B.size())
        return false;
    const char *a = A.data(), *b = B.data();
    if (n >= 8 && n <= 16)
        return WordAt<std::uint64_t>(a) == WordAt<std::uint64_t>(b) &&
               WordAt<std::uint64_t>(a + n - 8) == WordAt<std::uint64_t>(b + n - 8);
    if (n >= 4 && n < 8)
        return WordAt<std::uint32_t>(a) == WordAt<std::uint32_t>(b) &&
               WordAt<std::uint32_t>(a + n - 4) == WordAt<std::uint32_t>(b + n - 4);
    return n == 0 || std::memcmp(a, b, n) == 0;
}

struct TFrame {
    enum TType : std::uint8_t { Object, List, Skip };
    TType Type = Object;
    bool IsRow = false;
    int Field = -1; // Object: index of the member being read, -1 for one no table knows
    std::uint32_t Seen = 0;
    const TShape* Shape = nullptr; // Object: its members; List: its rows
    void* Record = nullptr;        // Object: its record; List: the list
    std::string_view Key;          // the member holding it (not for the root and rows)
    std::size_t Index = 0;         // rows: place in the list; List: rows so far

    static TFrame Skipped() {
        TFrame f;
        f.Type = Skip;
        return f;
    }
    static TFrame Of(TType Type, const TShape* Shape, void* Record, std::string_view Key, bool IsRow = false,
                     std::size_t Index = 0) {
        TFrame f;
        f.Type = Type;
        f.Shape = Shape;
        f.Record = Record;
        f.Key = Key;
        f.IsRow = IsRow;
        f.Index = Index;
        return f;
    }
};

// The SAX handler RapidJSON's reader drives. Every callback returns false to
// end the parse at the first fault, which it keeps in Fault.
class TReader {
public:
    TReader(const TShape& Root, void* Target, const TDecodeLimits& Limits, std::size_t Rows)
        : FRoot(Root), FTarget(Target), FDeadline(Limits.Deadline), FRows(Rows),
          FTimed(Limits.Deadline != TClock::time_point::max()) {}

    std::optional<TStatsError> Fault;

    bool Null() {
        return Unfit([] { return std::string("null"); });
    }
    bool Bool(bool V) {
        const TField* f = nullptr;
        if (!Accept([V] { return std::string(V ? "true" : "false"); }, TFieldKind::Bool, f))
            return !Fault;
        if (f)
            f->SetBool(Top().Record, V);
        return true;
    }
    bool Int(int V) { return Int64(V); }
    bool Uint(unsigned V) { return Uint64(V); }
    bool Int64(std::int64_t V) { return Integer(V < 0, static_cast<std::uint64_t>(V), V); }
    bool Uint64(std::uint64_t V) { return Integer(false, V, 0); }
    bool Double(double V) {
        // A number past the range of a double (100e307) reads as infinity.
        if (!std::isfinite(V))
            return Fail("the answer holds a number beyond any numeric range");
        return Unfit([V] { return FloatText(V); });
    }
    // Every number comes as its text (the parser has checked its form):
    // integers to 64 bits exactly, larger ones and fractions as the C
    // library reads them, whatever the program's locale.
    bool RawNumber(const char* Text, rapidjson::SizeType Length, bool) {
        const char* end = Text + Length;
        // Integers of up to 18 digits, nearly every number an answer holds,
        // are read here in one pass; they cannot overflow.
        {
            const bool negative = Length > 0 && *Text == '-';
            const char* digit = Text + (negative ? 1 : 0);
            if (end - digit > 0 && end - digit <= 18) {
                std::uint64_t v = 0;
                while (digit != end && *digit >= '0' && *digit <= '9')
                    v = v * 10 + static_cast<unsigned>(*digit++ - '0');
                if (digit == end)
                    return negative ? Int64(-static_cast<std::int64_t>(v)) : Uint64(v);
            }
        }
        if (std::find_if(Text, end, [](char C) { return C == '.' || C == 'e' || C == 'E'; }) == end) {
            if (*Text == '-') {
                std::int64_t v = 0;
                if (std::from_chars(Text, end, v).ec == std::errc())
                    return Int64(v);
            } else {
                std::uint64_t v = 0;
                if (std::from_chars(Text, end, v).ec == std::errc())
                    return Uint64(v);
            }
        }
        const std::string text(Text, Length);
#ifdef _WIN32
        static const _locale_t C = _create_locale(LC_ALL, "C");
        return Double(C ? _strtod_l(text.c_str(), nullptr, C) : std::strtod(text.c_str(), nullptr));
#else
        static const locale_t C = newlocale(LC_ALL_MASK, "C", nullptr);
        return Double(C ? strtod_l(text.c_str(), nullptr, C) : std::strtod(text.c_str(), nullptr));
#endif
    }
    bool String(const char* Text, rapidjson::SizeType Length, bool) {
        const std::string_view V(Text, Length);
        if (HalfOfAPair(V))
            return false;
        const TField* f = nullptr;
        if (!Accept([] { return std::string("a text"); }, TFieldKind::Text, f))
            return !Fault;
        if (!f)
            return true;
        if (f->Kind == TFieldKind::Name && V.empty())
            return Fail(MemberPath(*f) + " must not be empty");
        if (FUnicodeEscapes && V.find('\0') != std::string_view::npos)
            return Fail(MemberPath(*f) + " must not hold a NUL character");
        f->SetText(Top().Record, V);
        return true;
    }

    bool StartObject() {
        if (!Tick())
            return false;
        if (FDepth == 0)
            return Push(TFrame::Of(TFrame::Object, &FRoot, FTarget, {}));
        TFrame& top = Top();
        if (top.Type == TFrame::Skip)
            return Push(TFrame::Skipped());
        if (top.Type == TFrame::List) {
            std::size_t index = top.Index++;
            void* row = top.Shape->Append(top.Record);
            return Push(TFrame::Of(TFrame::Object, top.Shape, row, {}, true, index));
        }
        if (top.Field < 0)
            return Push(TFrame::Skipped());
        const TField& f = top.Shape->Fields[static_cast<std::size_t>(top.Field)];
        if (f.Kind != TFieldKind::Object)
            return Mismatch(f, "an object") && Push(TFrame::Skipped());
        top.Seen |= 1u << top.Field;
        return Push(TFrame::Of(TFrame::Object, f.Sub, f.Enter(top.Record), f.Key));
    }

    bool Key(const char* Text, rapidjson::SizeType Length, bool) {
        const std::string_view K(Text, Length);
        if (HalfOfAPair(K))
            return false;
        TFrame& top = Top();
        if (top.Type != TFrame::Object)
            return true;
        // Members mostly come in the table's order: the search starts after
        // the last one found.
        const auto& fields = top.Shape->Fields;
        const std::size_t n = fields.size();
        std::size_t i = static_cast<std::size_t>(top.Field + 1);
        top.Field = -1;
        for (std::size_t k = 0; k < n; ++k, ++i) {
            if (i >= n)
                i = 0;
            if (SameKey(fields[i].Key, K)) {
                top.Field = static_cast<int>(i);
                break;
            }
        }
        return true;
    }

    bool EndObject(rapidjson::SizeType) {
        TFrame& top = Top();
        if (top.Type == TFrame::Object) {
            const auto& fields = top.Shape->Fields;
            for (std::size_t i = 0; i < fields.size(); ++i)
                if (fields[i].Required && !(top.Seen & (1u << i)))
                    return Fail(PathOf(FDepth, fields[i].Key) + " is missing");
        }
        --FDepth;
        return true;
    }

    bool StartArray() {
        if (!Tick())
            return false;
        if (FDepth == 0)
            return Fail("the answer must be an object (found an array)");
        TFrame& top = Top();
        if (top.Type == TFrame::Skip)
            return Push(TFrame::Skipped());
        if (top.Type == TFrame::List)
            return Fail(RowPath(top) + " must be an object (found an array)");
        if (top.Field < 0)
            return Push(TFrame::Skipped());
        const TField& f = top.Shape->Fields[static_cast<std::size_t>(top.Field)];
        if (f.Kind != TFieldKind::List)
            return Mismatch(f, "an array") && Push(TFrame::Skipped());
        top.Seen |= 1u << top.Field;
        void* list = f.Enter(top.Record);
        if (FRows > 0 && f.Sub->Reserve) {
            // The rows the pre-scan counted (when it ran), but never more
            // than the body could hold, so that no answer reserves more than
            // its size.
            f.Sub->Reserve(list, std::min(FRows, FBodyBytes / MinRowBytes(*f.Sub)));
            FRows = 0;
        }
        return Push(TFrame::Of(TFrame::List, f.Sub, list, f.Key));
    }

    bool EndArray(rapidjson::SizeType) {
        --FDepth;
        return true;
    }

    // A row of a list in the form brokers write, read whole for the quick
    // parser: members of the row's table only, each once, every required
    // one, without blanks, each value of its member's kind, within its
    // range, in the quick parser's form (no escapes, integers of up to 18
    // characters). Such a row makes the very record, and counts the very
    // events, that reading it member by member would. Any other object is
    // declined with nothing read and nothing called, and is read member by
    // member, its faults and their messages included.
    TWholeObject WholeObject(const char*& At, const char* End) {
        if (FDepth == 0 || Top().Type != TFrame::List)
            return TWholeObject::Declined;
        TFrame& top = Top();
        if (top.Shape != FWhole.Shape) {
            FWhole = WholeRowsOf(*top.Shape);
            FPlanSteps = 0;
        }
        if (!FWhole.Readable)
            return TWholeObject::Declined;
        const auto& fields = top.Shape->Fields;
        TWholeValues values;
        std::uint32_t seen = 0;
        unsigned members = 0;
        const char* p = At + 1;
        // Rows of one list are mostly written alike: the row before's
        // members, in its order, are tried first; else the row is read
        // member by member, and its order kept for the next.
        if (PlannedRow(p, End, values)) {
            seen = FPlanSeen;
            members = static_cast<unsigned>(FPlanSteps);
        } else {
            p = At + 1;
            if (!MemberByMember(fields, p, End, values, seen, members))
                return TWholeObject::Declined;
            Plan(fields, members, seen);
        }
        // The object and each of its values, as the member-by-member reading
        // counts them towards a look at the clock.
        if (!Ticks(1 + members))
            return TWholeObject::Stopped;
        ++top.Index;
        FBeyondAscii |= (values.TextBytes & 0x8080808080808080u) != 0;
        top.Shape->Fill(top.Record, values, seen);
        At = p + 1;
        return TWholeObject::Read;
    }

    // Each member's value of a row read whole, until the row is known to be
    // whole (left unset before, as only members read are used); and the
    // bytes of its texts, or'ed (see FBeyondAscii).
    struct TWholeValues : TRowValues {
        std::uint64_t TextBytes = 0;
    };

    // The value of member F at P, of F's kind, in the quick parser's form.
    // F is the field, or a planned step, which carries its kind and range.
    template <class FField>
    [[gnu::always_inline]] static inline bool WholeValue(const FField& F, std::size_t I, const char*& P,
                                                         const char* End, TWholeValues& Values) {
        switch (F.Kind) {
        case TFieldKind::Int:
            return WholeInteger(P, End, F.Lo, F.Hi, Values.Ints[I]);
        case TFieldKind::Text:
        case TFieldKind::Name: {
            std::string_view text;
            if (P == End || *P != '"' || !PlainText(P, End, text, Values.TextBytes) ||
                (F.Kind == TFieldKind::Name && text.empty()))
                return false;
            Values.TextAt[I] = text.data();
            Values.TextLength[I] = text.size();
            return true;
        }
        case TFieldKind::Bool:
            if (End - P >= 4 && std::string_view(P, 4) == "true") {
                Values.Ints[I] = 1;
                P += 4;
                return true;
            }
            if (End - P >= 5 && std::string_view(P, 5) == "false") {
                Values.Ints[I] = 0;
                P += 5;
                return true;
            }
            return false;
        default:
            return false;
        }
    }

    // The members of the row at P (after its '{') one by one, up to its '}':
    // members of the table only, each once, every required one.
    bool MemberByMember(std::span<const TField> Fields, const char*& P, const char* End, TWholeValues& Values,
                        std::uint32_t& Seen, unsigned& Members) {
        const std::size_t n = Fields.size();
        for (std::size_t member = 0; P != End && *P != '}'; ++member, ++Members) {
            if (member > 0) {
                if (*P != ',')
                    return false;
                ++P;
            }
            // The field the same place held in the row before is looked
            // for first.
            std::size_t i = member < MaxWholeMembers ? FWholeOrder[member] : n;
            if (i < n && KeyAt(P, End, Fields[i].Key)) {
                P += Fields[i].Key.size() + 3;
            } else {
                std::string_view key;
                if (P == End || *P != '"' || !PlainText(P, End, key, Values.TextBytes) || P == End ||
                    *P != ':')
                    return false;
                ++P;
                for (i = 0; i < n && !SameKey(Fields[i].Key, key); ++i) {
                }
                if (i == n || member >= MaxWholeMembers)
                    return false; // no table knows it, or too many
                FWholeOrder[member] = static_cast<std::uint8_t>(i);
            }
            if (Seen & (1u << i))
                return false; // given twice: the last one counts
            Seen |= 1u << i;
            if (!WholeValue(Fields[i], i, P, End, Values))
                return false;
        }
        return (Seen & FWhole.Required) == FWhole.Required && P != End && *P == '}';
    }

    // One member of a planned row: the bytes before its value (the comma
    // after the first, and the quoted name with its colon), compared as
    // two words, and its field. Every member name of the tables is short
    // enough; a row with a longer one gets no plan (it is still read whole,
    // member by member).
    struct TWholeStep {
        std::uint64_t Word[2] = {};
        std::uint64_t Mask[2] = {};
        std::size_t Length = 0;
        std::size_t Field = 0;
        // The field's kind and range, kept beside the bytes compared.
        TFieldKind Kind = TFieldKind::Int;
        std::int64_t Lo = 0;
        std::int64_t Hi = 0;
    };
    static constexpr std::size_t StepBytes = sizeof(TWholeStep::Word);

    // Keeps the order of the row just read member by member for the next.
    void Plan(std::span<const TField> Fields, unsigned Members, std::uint32_t Seen) {
        FPlanSteps = 0;
        for (std::size_t k = 0; k < Members; ++k) {
            const std::size_t i = FWholeOrder[k];
            const std::string text = (k > 0 ? ",\"" : "\"") + std::string(Fields[i].Key) + "\":";
            if (text.size() > StepBytes)
                return; // no plan: such rows are read member by member
            TWholeStep& step = FPlan[k];
            step = TWholeStep{};
            std::memcpy(step.Word, text.data(), text.size());
            std::memset(step.Mask, 0xff, text.size());
            step.Length = text.size();
            step.Field = i;
            step.Kind = Fields[i].Kind;
            step.Lo = Fields[i].Lo;
            step.Hi = Fields[i].Hi;
        }
        FPlanSteps = Members;
        FPlanSeen = Seen;
    }

    // The row at P (after its '{') when it has the planned members in the
    // planned order, up to its '}'.
    bool PlannedRow(const char*& P, const char* End, TWholeValues& Values) const {
        if (FPlanSteps == 0)
            return false;
        for (std::size_t k = 0; k < FPlanSteps; ++k) {
            const TWholeStep& step = FPlan[k];
            if (static_cast<std::size_t>(End - P) < StepBytes)
                return false;
            if (((WordAt<std::uint64_t>(P) ^ step.Word[0]) & step.Mask[0]) |
                ((WordAt<std::uint64_t>(P + 8) ^ step.Word[1]) & step.Mask[1]))
                return false;
            P += step.Length;
            if (!WholeValue(step, step.Field, P, End, Values))
                return false;
        }
        return P != End && *P == '}';
    }

    // A text that held half of a surrogate pair (an escaped "\udc00" alone,
    // which the parser writes out as it stands) is not a text: it is refused
    // as an answer that is not valid JSON, as every other ill-formed string.
    bool HalfOfAPair(std::string_view V) {
        if (!FUnicodeEscapes)
            return false;
        for (std::size_t i = V.find('\xed'); i != std::string_view::npos; i = V.find('\xed', i + 1))
            if (i + 1 < V.size() && (static_cast<unsigned char>(V[i + 1]) & 0xe0) == 0xa0) {
                HalfPair = true;
                return true;
            }
        return false;
    }

    bool HalfPair = false;
    std::size_t FBodyBytes = 0;
    // Whether a text the quick parser took (a row's read whole, or one it
    // handed over) may hold a byte beyond ASCII: the only place one can
    // stand in an answer the quick parser reads to its end, so that only
    // then is the body's UTF-8 checked.
    bool FBeyondAscii = false;
    void TextsBeyondAscii(bool Beyond) {
        FBeyondAscii |= Beyond;
    }
    // Whether the body holds a "\u" escape at all: only through one can a
    // text hold a NUL or half of a surrogate pair.
    bool FUnicodeEscapes = true;

private:
    TFrame& Top() {
        return FStack[FDepth - 1];
    }

    bool Push(TFrame F) {
        if (FDepth == FStack.size())
            return Fail("arrays and objects nest too deep");
        FStack[FDepth++] = F;
        return true;
    }

    bool Tick() {
        if (FTimed && ++FEvents % ClockEvery == 0 && TClock::now() >= FDeadline) {
            Fault = TStatsError{TStatsFailure::TimeOut, 200, 0, "Time-out while reading the answer."};
            return false;
        }
        return true;
    }
    // N events at once: the clock is looked at when Tick would have looked.
    bool Ticks(unsigned N) {
        if (!FTimed)
            return true;
        const unsigned before = FEvents;
        FEvents += N;
        if (before / ClockEvery != FEvents / ClockEvery && TClock::now() >= FDeadline) {
            Fault = TStatsError{TStatsFailure::TimeOut, 200, 0, "Time-out while reading the answer."};
            return false;
        }
        return true;
    }

    // Whether "Key": stands at P.
    static bool KeyAt(const char* P, const char* End, std::string_view Key) {
        const std::size_t k = Key.size();
        return static_cast<std::size_t>(End - P) >= k + 3 && P[0] == '"' && P[k + 1] == '"' &&
               P[k + 2] == ':' && SameKey(std::string_view(P + 1, k), Key);
    }

    // A text without escapes and control characters; P is on its opening
    // quote, and is left after its closing one. Bytes gets every word and
    // byte read or'ed into it (a few past the closing quote among them).
    static bool PlainText(const char*& P, const char* End, std::string_view& Out, std::uint64_t& Bytes) {
        const char* from = ++P;
        // Eight bytes at a time up to the first quote, backslash or
        // control character, then byte by byte.
        constexpr std::uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
        while (End - P >= 8) {
            const std::uint64_t w = WordAt<std::uint64_t>(P);
            Bytes |= w;
            const std::uint64_t quote = w ^ (Ones * '"'), backslash = w ^ (Ones * '\\');
            // A byte of X below N (N at most 0x80; a zero byte is below 1)
            // has its high bit set here; bytes after the first such one may
            // show falsely, the first one never does.
            auto below = [](std::uint64_t X, std::uint64_t N) { return (X - Ones * N) & ~X & Highs; };
            const std::uint64_t stop = below(w, 0x20) | below(quote, 1) | below(backslash, 1);
            if (stop) {
                if constexpr (std::endian::native == std::endian::little)
                    P += std::countr_zero(stop) / 8; // the first byte that stops the text
                break;
            }
            P += 8;
        }
        while (P != End && *P != '"') {
            const auto c = static_cast<unsigned char>(*P);
            Bytes |= c;
            if (c < 0x20 || c == '\\')
                return false;
            ++P;
        }
        if (P == End)
            return false;
        Out = std::string_view(from, static_cast<std::size_t>(P - from));
        ++P;
        return true;
    }

    // What WholeObject needs to know of a row's shape, found once a list.
    struct TWholeRows {
        const TShape* Shape = nullptr;
        bool Readable = false;      // filled by its shape, every member a single value, not too many
        std::uint32_t Required = 0; // bit i: member i is required
    };
    static TWholeRows WholeRowsOf(const TShape& Shape) {
        TWholeRows rows;
        rows.Shape = &Shape;
        rows.Readable = Shape.Fill && Shape.Fields.size() <= MaxWholeMembers;
        for (std::size_t i = 0; i < Shape.Fields.size() && rows.Readable; ++i) {
            const TField& f = Shape.Fields[i];
            rows.Readable = f.Kind != TFieldKind::List && f.Kind != TFieldKind::Object;
            if (f.Required)
                rows.Required |= 1u << i;
        }
        return rows;
    }

    // An integer as the quick parser and RawNumber read it, from Lo to Hi:
    // -?(0|[1-9][0-9]*) of up to 18 characters, the sign included (so that
    // it cannot overflow). What follows it is the caller's to check (a
    // fraction or an exponent then declines the row).
    [[gnu::always_inline]] static inline bool WholeInteger(const char*& P, const char* End, std::int64_t Lo,
                                                           std::int64_t Hi, std::int64_t& Out) {
        const bool negative = P != End && *P == '-';
        const char* from = P + (negative ? 1 : 0);
        const char* digit = from;
        std::uint64_t v = 0;
        if (std::endian::native == std::endian::little && End - from >= 8) {
            // Up to seven digits, nearly every value, from one word: the
            // digits are counted up to the first byte that is none, then
            // combined in pairs, fours and eights.
            constexpr std::uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
            const std::uint64_t values = WordAt<std::uint64_t>(from) - Ones * '0';
            // The first byte that is no digit has its high bit set (bytes
            // after it may too: borrows and carries only run upwards).
            const std::uint64_t others = (values | (values + Ones * (0x80 - 10))) & Highs;
            const unsigned digits = others ? static_cast<unsigned>(std::countr_zero(others)) / 8 : 8;
            if (digits == 0 || (*from == '0' && digits > 1))
                return false; // no digit, or a leading zero
            if (digits < 8) {
                std::uint64_t w = values << (64 - 8 * digits); // leading zeros before the digits
                w = (w * (10 * 256 + 1)) >> 8 & 0x00ff00ff00ff00ffu;
                w = (w * (100 * 65536 + 1)) >> 16 & 0x0000ffff0000ffffu;
                v = (w * ((std::uint64_t{10000} << 32) + 1)) >> 32;
                digit = from + digits;
            }
        }
        if (digit == from) {
            // Longer numbers, and the last bytes of a body, a digit at a
            // time: up to 18 characters, the sign included, so that the
            // value cannot overflow.
            const char* last = End - P > 18 ? P + 18 : End;
            for (unsigned d; digit < last && (d = static_cast<unsigned char>(*digit) - 0x30u) <= 9; ++digit)
                v = v * 10 + d;
            if (digit == from || (*from == '0' && digit - from > 1) ||
                (digit != End && static_cast<unsigned char>(*digit) - 0x30u <= 9))
                return false; // no digit, a leading zero, or too long
        }
        const std::int64_t value = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
        if (value < Lo || value > Hi)
            return false;
        Out = value;
        P = digit;
        return true;
    }

    bool Fail(const std::string& What) {
        if (!Fault)
            Fault = MalformedAnswer(What);
        return false;
    }

    // Where a scalar goes: F is its field, or null when no table knows the
    // member (the value is skipped). False when the value cannot be taken;
    // Fault is then set unless the field takes its faults itself. Found
    // names the value in a message; it is only called for one. Kind null:
    // the value fits no field (null, numbers with a fraction or exponent).
    template <class FFound> bool Accept(FFound&& Found, std::optional<TFieldKind> Kind, const TField*& F) {
        F = nullptr;
        if (!Tick())
            return false;
        if (FDepth == 0)
            return Fail("the answer must be an object (found " + Found() + ")");
        TFrame& top = Top();
        if (top.Type == TFrame::Skip)
            return true;
        if (top.Type == TFrame::List)
            return Fail(RowPath(top) + " must be an object (found " + Found() + ")");
        if (top.Field < 0)
            return true;
        const TField& f = top.Shape->Fields[static_cast<std::size_t>(top.Field)];
        bool fits = Kind && (f.Kind == *Kind || (*Kind == TFieldKind::Text && f.Kind == TFieldKind::Name));
        if (!fits) {
            Mismatch(f, Found());
            return false;
        }
        top.Seen |= 1u << top.Field;
        F = &f;
        return true;
    }

    template <class FFound> bool Unfit(FFound&& Found) {
        const TField* f = nullptr;
        return Accept(Found, std::nullopt, f) || !Fault;
    }

    bool Integer(bool Negative, std::uint64_t U, std::int64_t S) {
        auto found = [&] { return Negative ? std::to_string(S) : std::to_string(U); };
        const TField* f = nullptr;
        if (!Accept(found, TFieldKind::Int, f))
            return !Fault;
        if (!f)
            return true;
        // Read as unsigned unless negative: a value above the signed range
        // must not turn negative on the way in.
        bool inRange = Negative ? (S >= f->Lo && S <= f->Hi)
                                : (f->Hi >= 0 && U <= static_cast<std::uint64_t>(f->Hi) &&
                                   (f->Lo <= 0 || U >= static_cast<std::uint64_t>(f->Lo)));
        if (!inRange)
            return Mismatch(*f, found());
        f->SetInt(Top().Record, Negative ? S : static_cast<std::int64_t>(U));
        return true;
    }

    std::string Expectation(const TField& F) const {
        switch (F.Kind) {
        case TFieldKind::Int:
            return "must be an integer from " + std::to_string(F.Lo) + " to " + std::to_string(F.Hi);
        case TFieldKind::Text:
        case TFieldKind::Name:
            return "must be a text";
        case TFieldKind::Bool:
            return "must be true or false";
        case TFieldKind::List:
            return "must be an array";
        case TFieldKind::Object:
            return "must be an object";
        }
        return {};
    }

    // A value of the wrong type or range for F. False unless F takes its
    // faults itself.
    bool Mismatch(const TField& F, const std::string& Found) {
        std::string msg = MemberPath(F) + " " + Expectation(F) + " (found " + Found + ")";
        if (F.SetFault) {
            TFrame& top = Top();
            F.SetFault(top.Record, std::move(msg));
            return true;
        }
        return Fail(msg);
    }

    // The path of the container at stack depth Depth (1 = root), then Key.
    std::string PathOf(std::size_t Depth, std::string_view Key) const {
        std::string out;
        for (std::size_t i = 1; i < Depth; ++i) {
            const TFrame& f = FStack[i];
            if (f.IsRow) {
                out += '[';
                out += std::to_string(f.Index);
                out += ']';
            } else {
                if (!out.empty())
                    out += '.';
                out += f.Key;
            }
        }
        if (!Key.empty()) {
            if (!out.empty())
                out += '.';
            out += Key;
        }
        return out.empty() ? "the answer" : out;
    }
    std::string MemberPath(const TField& F) const {
        return PathOf(FDepth, F.Key);
    }
    std::string RowPath(const TFrame& List) const {
        return PathOf(FDepth, {}) + "[" + std::to_string(List.Index) + "]";
    }

    const TShape& FRoot;
    void* FTarget;
    TClock::time_point FDeadline;
    std::size_t FRows;
    bool FTimed;
    unsigned FEvents = 0;
    std::array<TFrame, MaxNestingDepth + 2> FStack{};
    std::array<std::uint8_t, MaxWholeMembers> FWholeOrder{}; // WholeObject: the field at each place, last row
    TWholeRows FWhole;                                       // WholeObject: the rows being read
    std::array<TWholeStep, MaxWholeMembers> FPlan{};         // WholeObject: the members of the row before
    std::size_t FPlanSteps = 0;                              // ... how many (0: none)
    std::uint32_t FPlanSeen = 0;                             // ... which fields they are
    std::size_t FDepth = 0;
};

TStatsError TooDeep(const TDecodeLimits& Limits) {
    return MalformedAnswer("arrays and objects nest deeper than " + std::to_string(Limits.MaxDepth) +
                           " levels");
}

} // namespace

TStatsError MalformedAnswer(const std::string& What) {
    return TStatsError{TStatsFailure::Malformed, 200, 0, MalformedPrefix + What};
}

// Clears the upper halves of the wide vector registers, where the processor
// has them. Code elsewhere in the process (a library's) may leave them set
// after using them; until they are cleared, every SSE instruction of the
// reader and of what follows it (the records' copies, the walk) waits on
// them, and a list of 100,000 components in the monitor's window took twice
// its time. Our own code never holds a value in them.
static void ClearUpperVectorHalves() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    static const bool Avx = __builtin_cpu_supports("avx");
    if (Avx)
        __asm__ volatile("vzeroupper");
#endif
}

std::optional<TStatsError> ReadAnswer(std::string_view Body, const TShape& Root, void* Target,
                                      void (*Clear)(void* Target), const TDecodeLimits& Limits) {
    ClearUpperVectorHalves();
    // Size and nesting are checked before anything else is: a body too
    // large or too deep gets that verdict, whatever else is wrong with it.
    if (Body.size() > Limits.MaxBodyBytes)
        return TStatsError{TStatsFailure::TooLarge, 200, 0,
                           "The broker's answer of " + std::to_string(Body.size()) +
                               " bytes is larger than the limit of " + std::to_string(Limits.MaxBodyBytes) +
                               " bytes."};
    // The nesting pre-scan, for every verdict but the quick parser's
    // success, which has seen every bracket itself.
    std::optional<TScan> scanned;
    auto nesting = [&]() -> std::optional<TStatsError> {
        scanned = Scan(Body, Limits.MaxDepth, Limits.Deadline);
        if (scanned->TimedOut)
            return TStatsError{TStatsFailure::TimeOut, 200, 0, "Time-out while reading the answer."};
        if (!scanned->DepthOk)
            return TooDeep(Limits);
        return std::nullopt;
    };
    if (Body.empty())
        return MalformedAnswer("the answer is empty"); // nothing in it nests
    // Whether the body holds a "\\u" escape at all: the quick parser reads
    // no text with an escape, so only the full reader needs to know.
    auto handler = [&](std::size_t Rows, bool UnicodeEscapes) {
        TReader reader(Root, Target, Limits, Rows);
        reader.FBodyBytes = Body.size();
        reader.FUnicodeEscapes = UnicodeEscapes;
        return reader;
    };
    // UTF-8 is checked over the whole body at once, which is far quicker
    // than the parser's check of each text; outside texts any byte beyond
    // ASCII is a fault of the form anyway. Its verdict comes before every
    // other but the nesting's. An answer the quick parser reads to its end
    // with texts of ASCII only is ASCII only: it needs no check.
    auto notUtf8 = [&]() -> std::optional<TStatsError> {
        if (BodyIsUtf8(Body))
            return std::nullopt;
        if (auto deep = nesting())
            return deep;
        return MalformedAnswer("the answer is not valid JSON (it is not valid UTF-8)");
    };
    bool checked = false;
    if (Limits.QuickParse) {
        // The pre-scan looks at the clock after every megabyte; the quick
        // parser only every few thousand values, and a long text is one. A
        // body of a megabyte or more gets that look before it is parsed.
        if (Body.size() >= ScanClockEvery && Limits.Deadline != TClock::time_point::max() &&
            TClock::now() >= Limits.Deadline)
            return TStatsError{TStatsFailure::TimeOut, 200, 0, "Time-out while reading the answer."};
        // No row count without the pre-scan: the list reserves what the
        // body could hold at most (room that is never written to stays
        // address space only).
        TReader reader = handler(std::numeric_limits<std::size_t>::max(), false);
        try {
            const TPlainParse plain = ParsePlainJson(Body, reader, Limits.MaxDepth);
            if (plain == TPlainParse::TooDeep)
                return TooDeep(Limits);
            if (plain != TPlainParse::Done || reader.FBeyondAscii) {
                if (auto bad = notUtf8())
                    return bad;
                checked = true;
            }
            if (plain == TPlainParse::Done)
                return std::move(reader.Fault);
            if (plain == TPlainParse::Stopped && reader.Fault) {
                // A fault before the end: the rest may still nest too deep,
                // which is the verdict that comes first.
                if (auto deep = nesting())
                    return deep;
                return std::move(reader.Fault);
            }
        } catch (const std::bad_alloc&) {
            return MalformedAnswer("the answer does not fit into memory");
        }
        // Not in the common form: the full reader reads it all again, into
        // a record as it was before.
        Clear(Target);
    }
    if (!checked)
        if (auto bad = notUtf8())
            return bad;
    if (auto deep = nesting())
        return deep;
    TReader reader = handler(scanned->Rows, Body.find("\\u") != std::string_view::npos);
    // Every byte is read and checked; iterative, so that no nesting the
    // pre-scan let through can use up the stack.
    constexpr unsigned Flags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
    rapidjson::MemoryStream in(Body.data(), Body.size());
    rapidjson::Reader parser;
    try {
        const rapidjson::ParseResult result = parser.Parse<Flags>(in, reader);
        if (reader.Fault)
            return std::move(reader.Fault);
        // The parser reads a NUL byte as the end of the input; whatever is
        // left after the answer is not part of it.
        if (!result || reader.HalfPair || in.Tell() != Body.size()) {
            const std::size_t at = result ? in.Tell() : result.Offset();
            if (result.Code() == rapidjson::kParseErrorNumberTooBig)
                return MalformedAnswer("the answer holds a number beyond any numeric range");
            // The parser's own message would quote the input; the place is
            // enough and keeps stray bytes out of a text the operator will see.
            return MalformedAnswer("the answer is not valid JSON (error at byte " + std::to_string(at) +
                                   ": " +
                                   (reader.HalfPair ? "half of a surrogate pair"
                                    : result        ? "text after the answer"
                                                    : rapidjson::GetParseError_En(result.Code())) +
                                   ")");
        }
    } catch (const std::bad_alloc&) {
        return MalformedAnswer("the answer does not fit into memory");
    }
    return std::move(reader.Fault);
}

} // namespace wdx::statshost::reader

namespace wdx::statshost {

bool NestingWithin(std::string_view Body, int MaxDepth) {
    return reader::Scan(Body, MaxDepth, std::chrono::steady_clock::time_point::max()).DepthOk;
}

} // namespace wdx::statshost

#pragma once
// Reads one answer of the statistics protocol in a single pass over its
// bytes and writes every member straight into the caller's records, with no
// parsed document in between: a component list costs its records and
// nothing else. What an answer must hold is described by tables (TShape,
// TField); every member is checked against its table entry as it is read
// (type, range, required, not empty, no NUL), and members no table knows are
// skipped. Faults are named by their place ("components[3].active ...").

#include "statshost/StatsDecoder.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wdx::statshost::reader {

enum class TFieldKind : std::uint8_t {
    Int,    // integer from Lo to Hi
    Text,   // any text without NUL
    Name,   // a text that is not empty, without NUL
    Bool,   // true or false
    List,   // array of objects of shape Sub
    Object, // object of shape Sub
};

struct TShape;

// One member of an object. The setters get the record the object is read
// into (the caller's type, hence void*).
struct TField {
    std::string_view Key;
    TFieldKind Kind = TFieldKind::Int;
    bool Required = true;
    std::int64_t Lo = 0;
    std::int64_t Hi = 0;
    void (*SetInt)(void* Record, std::int64_t Value) = nullptr;
    void (*SetText)(void* Record, std::string_view Value) = nullptr;
    void (*SetBool)(void* Record, bool Value) = nullptr;
    // List: empties the record's list and returns it. Object: returns the
    // record the nested object is read into.
    void* (*Enter)(void* Record) = nullptr;
    const TShape* Sub = nullptr;
    // When set, a value of the wrong type is not a fault of the answer: the
    // message is handed here, and the decoder decides after reading whether
    // the member mattered.
    void (*SetFault)(void* Record, std::string&& Message) = nullptr;
};

// The most members a row read whole (in one pass, see AnswerReader.cpp) may
// have.
constexpr std::size_t MaxWholeMembers = 16;

// The values of a row read whole, by field: integers (and truths, as 0 or
// 1) in Ints, texts in TextAt/TextLength (into the body being read). Only
// the fields read are set.
struct TRowValues {
    std::int64_t Ints[MaxWholeMembers];
    const char* TextAt[MaxWholeMembers];
    std::size_t TextLength[MaxWholeMembers];
};

struct TShape {
    std::span<const TField> Fields;
    // For the rows of a list: reserves room for Count rows, and appends one
    // row and returns it.
    void (*Reserve)(void* List, std::size_t Count) = nullptr;
    void* (*Append)(void* List) = nullptr;
    // For the rows of a list, when set: appends one row holding the values
    // of the fields in Seen (bit i: Fields[i]), as their setters would.
    void (*Fill)(void* List, const TRowValues& Values, std::uint32_t Seen) = nullptr;
};

// Reads Body (size and nesting checked first, against Limits) into Target as
// described by Root. Returns nothing when the answer is good, else the
// failure: TooLarge, Malformed, or TimeOut when Limits.Deadline passed.
// Clear sets Target back to how it came, for a second reading (see
// PlainJson.h).
std::optional<TStatsError> ReadAnswer(std::string_view Body, const TShape& Root, void* Target,
                                      void (*Clear)(void* Target), const TDecodeLimits& Limits);

// "components[3].active must be ...", in the decoder's own words.
TStatsError MalformedAnswer(const std::string& What);

// Setters built from member pointers, for the field tables.
template <class> struct TMemberOf;
template <class C, class T> struct TMemberOf<T C::*> {
    using Class = C;
    using Type = T;
};

template <auto M> void SetIntMember(void* R, std::int64_t V) {
    using Tr = TMemberOf<decltype(M)>;
    static_cast<typename Tr::Class*>(R)->*M = static_cast<typename Tr::Type>(V);
}
template <auto M> void SetTextMember(void* R, std::string_view V) {
    // Emptied and appended to: the same text as an assignment gives, by a
    // shorter way (the view never points into the record).
    std::string& Text = static_cast<typename TMemberOf<decltype(M)>::Class*>(R)->*M;
    Text.clear();
    Text.append(V.data(), V.size());
}

constexpr TField FieldOf(std::string_view Key, TFieldKind Kind, bool Required = true) {
    TField f;
    f.Key = Key;
    f.Kind = Kind;
    f.Required = Required;
    return f;
}

template <auto M> constexpr TField IntField(std::string_view Key, std::int64_t Lo, std::int64_t Hi) {
    TField f = FieldOf(Key, TFieldKind::Int);
    f.Lo = Lo;
    f.Hi = Hi;
    f.SetInt = &SetIntMember<M>;
    return f;
}
template <auto M>
constexpr TField TextField(std::string_view Key, bool NonEmpty = false, bool Required = true) {
    TField f = FieldOf(Key, NonEmpty ? TFieldKind::Name : TFieldKind::Text, Required);
    f.SetText = &SetTextMember<M>;
    return f;
}

// A list member whose rows are appended to the std::vector at member M.
template <auto M> constexpr TField ListField(std::string_view Key, const TShape& Rows) {
    TField f = FieldOf(Key, TFieldKind::List);
    f.Enter = [](void* R) -> void* {
        auto& list = static_cast<typename TMemberOf<decltype(M)>::Class*>(R)->*M;
        list.clear(); // a member given twice counts once, the last time
        return &list;
    };
    f.Sub = &Rows;
    return f;
}

// Field I of Fields set in Row from a row read whole, through its own
// setter: the setter is known here, so the call goes inline.
template <const auto& Fields, std::size_t I, class Row>
void FillField(Row& R, const TRowValues& Values, std::uint32_t Seen) {
    constexpr TField F = Fields[I];
    if (!(Seen & (1u << I)))
        return;
    if constexpr (F.Kind == TFieldKind::Int)
        F.SetInt(&R, Values.Ints[I]);
    else if constexpr (F.Kind == TFieldKind::Bool)
        F.SetBool(&R, Values.Ints[I] != 0);
    else if constexpr (F.Kind == TFieldKind::Text || F.Kind == TFieldKind::Name)
        F.SetText(&R, std::string_view(Values.TextAt[I], Values.TextLength[I]));
}

// The row shape of a std::vector<Row>, its members described by Fields (a
// constant array: rows read whole are filled without a call per member).
template <class Row, const auto& Fields> constexpr TShape RowShape() {
    static_assert(Fields.size() <= MaxWholeMembers);
    TShape s;
    s.Fields = Fields;
    s.Reserve = [](void* L, std::size_t N) { static_cast<std::vector<Row>*>(L)->reserve(N); };
    s.Append = [](void* L) -> void* { return &static_cast<std::vector<Row>*>(L)->emplace_back(); };
    s.Fill = [](void* L, const TRowValues& Values, std::uint32_t Seen) {
        Row& r = static_cast<std::vector<Row>*>(L)->emplace_back();
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (FillField<Fields, I>(r, Values, Seen), ...);
        }
        (std::make_index_sequence<Fields.size()>());
    };
    return s;
}

} // namespace wdx::statshost::reader

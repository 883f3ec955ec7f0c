#pragma once
// Typed reading of parsed JSON with messages that name the place of the
// fault ("components[3].active must be ..."). Used by the simulator's
// scenario loader (broker side, wdx_statsbroker); the answer decoder reads in
// one pass with the same words (AnswerReader.h). The path of a value is built
// as a chain on the stack and only turned into text when something is wrong,
// so reading a long list costs no strings.

#include "statshost/StatsProtocol.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wdx::statshost {

// A value that is missing, of the wrong type or out of range. what() is the
// whole message.
class EJsonField : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TJsonPath {
public:
    TJsonPath() = default;
    TJsonPath Member(std::string_view Key) const { return TJsonPath(this, Key, 0, false); }
    TJsonPath Element(std::size_t Index) const { return TJsonPath(this, {}, Index, true); }
    // "components[3].active"; "the answer" for the root.
    std::string Text() const;

private:
    TJsonPath(const TJsonPath* Parent, std::string_view Key, std::size_t Index, bool IsIndex)
        : FParent(Parent), FKey(Key), FIndex(Index), FIsIndex(IsIndex) {}
    void Append(std::string& Out) const;

    const TJsonPath* FParent = nullptr;
    std::string_view FKey;
    std::size_t FIndex = 0;
    bool FIsIndex = false;
};

using TJson = nlohmann::json;

// At is the path of the value passed in; the functions taking a Key look up
// that member of an object (which they first require to be an object).
const TJson& RequireMember(const TJson& Obj, std::string_view Key, const TJsonPath& At);
const TJson* FindMember(const TJson& Obj, std::string_view Key, const TJsonPath& At);
const TJson::array_t& RequireArray(const TJson& Value, const TJsonPath& At);
void RequireObject(const TJson& Value, const TJsonPath& At);
// Integers only: 5.0 and "5" are refused, and so is any value outside Lo..Hi
// (never wrapped into range).
int64_t RequireInt(const TJson& Value, int64_t Lo, int64_t Hi, const TJsonPath& At);
// A text holding a NUL character is refused: no name or text can hold one.
const std::string& RequireText(const TJson& Value, const TJsonPath& At, bool NonEmpty = false);
bool RequireBool(const TJson& Value, const TJsonPath& At);

// Shorthands for a member of an object.
int64_t IntMember(const TJson& Obj, std::string_view Key, int64_t Lo, int64_t Hi, const TJsonPath& At);
const std::string& TextMember(const TJson& Obj, std::string_view Key, const TJsonPath& At,
                              bool NonEmpty = false);

} // namespace wdx::statshost

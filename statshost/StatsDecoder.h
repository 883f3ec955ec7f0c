#pragma once
// Decoding of the statistics protocol's answers: bytes in, value or failure
// out. Pure functions with no I/O, so that every malformed answer can be
// tried without a socket (tests, fuzzing).
//
// Every function checks, in this order: the body's size against the cap
// (TooLarge), the nesting of arrays and objects against the cap, and then,
// in one pass that builds the records as it goes, that the body is JSON and
// that every member the answer needs is there, with its type and range, and
// that no name or text holds a NUL character (Malformed). The first fault
// found is the one reported. Members a decoder does not know are ignored, so
// that a broker may add some. A decode still running at the deadline ends
// with TimeOut. Nothing here throws.

#include "statshost/StatsProtocol.h"
#include "statshost/StatsTypes.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::statshost {

struct TDecodeLimits {
    std::size_t MaxBodyBytes = DefaultMaxBodyBytes;
    int MaxDepth = MaxNestingDepth;
    // The decode gives up with TimeOut once this has passed (checked every
    // few hundred rows); the default never passes.
    std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();
    // Answers in the form brokers write them are read by a quicker parser
    // first (same verdicts, same records); false reads every answer with the
    // full reader, for comparing the two.
    bool QuickParse = true;
};

// Answers with status 200.
TStatsResult<TBrokerInfo> DecodeBrokerInfo(std::string_view Body, const TDecodeLimits& Limits = {});
TStatsResult<THealth> DecodeHealth(std::string_view Body, const TDecodeLimits& Limits = {});
TStatsResult<std::vector<TComponentStats>> DecodeComponents(std::string_view Body,
                                                            const TDecodeLimits& Limits = {});
TStatsResult<std::vector<TServiceStats>> DecodeServices(std::string_view Body,
                                                        const TDecodeLimits& Limits = {});
TStatsResult<std::vector<TParamInfo>> DecodeParameters(std::string_view Body,
                                                       const TDecodeLimits& Limits = {});
TStatsResult<TComponentDetails> DecodeComponentDetails(std::string_view Body,
                                                       const TDecodeLimits& Limits = {});
TStatsResult<TActionDone> DecodeActionDone(std::string_view Body, const TDecodeLimits& Limits = {});
TStatsResult<TVersionInfo> DecodeVersion(std::string_view Body, const TDecodeLimits& Limits = {});

// The failure that an answer with any status but 200 stands for: BrokerError
// with the broker's code and text when the body is an error answer, else
// with a text naming the status. Code is never 0 (the status stands in). A
// text longer than MaxErrorTextChars is cut (see CutOperatorText).
TStatsError DecodeErrorAnswer(int HttpStatus, std::string_view Body, const TDecodeLimits& Limits = {});

// True when no array or object in Body nests deeper than MaxDepth. Looks at
// brackets outside strings only and stops at the first one too deep, so it
// is linear and cheap; it does not check that Body is JSON.
bool NestingWithin(std::string_view Body, int MaxDepth);

// Text as an operator's message box can show it: when it has more than
// MaxChars characters (code points of UTF-8), the first MaxChars of them and
// a note that the text was cut and how long it was. Never splits a
// character.
std::string CutOperatorText(std::string Text, std::size_t MaxChars = MaxErrorTextChars);

} // namespace wdx::statshost

#pragma once
// The statistics protocol's fixed parts as a client needs them: limits,
// request paths and the action request. docs/protocol.md is the description a
// broker is built from; StatsDecoder.h reads its answers, and the broker's
// side (StatsEncoders.h, library wdx_statsbroker) writes them.

#include "statshost/StatsTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wdx::statshost {

inline constexpr int32_t ProtocolVersion = 1;

// Deadline of one exchange when the broker definition's time-out is 0 (or
// not positive), and the largest one taken (longer ones are cut to it).
inline constexpr int DefaultTimeOutSeconds = 10;
inline constexpr int MaxTimeOutSeconds = 86400;

// An answer body larger than this is refused before it is parsed. 64 MiB
// holds a component list of several hundred thousand rows.
inline constexpr std::size_t DefaultMaxBodyBytes = 64u * 1024 * 1024;

// Deepest nesting of arrays and objects accepted in an answer. The deepest
// answer of the protocol needs 3.
inline constexpr int MaxNestingDepth = 32;

// Largest header section of an answer taken (all header lines together);
// more is refused as too large before the body is read.
inline constexpr std::size_t MaxHeaderBytes = 64u * 1024;

// Longest error text of a broker handed on as it is, in characters; a longer
// one is cut, with a note, so that a message box can show it.
inline constexpr std::size_t MaxErrorTextChars = 2000;

// Longest component or service name a request may carry, in bytes of UTF-8.
inline constexpr std::size_t MaxNameBytes = 2048;

// Ranges of the protocol's integers (counts, data types and modes).
inline constexpr int64_t Int32Max = 2147483647;
inline constexpr int64_t Int16Min = -32768;
inline constexpr int64_t Int16Max = 32767;

// Every byte other than A-Z a-z 0-9 - . _ ~ becomes %XX (upper-case hex).
std::string PercentEncode(std::string_view Text);

// Request paths, names already encoded.
std::string BrokerPath();                              // GET  /v1/broker
std::string HealthPath();                              // GET  /v1/health
std::string ComponentsPath();                          // GET  /v1/components
std::string ComponentPath(std::string_view Component); // GET  /v1/components/{c}
std::string ServicesPath(std::string_view Component);  // GET  /v1/components/{c}/services
std::string ParametersPath(std::string_view Service);  // GET  /v1/services/{s}/parameters
std::string ActionPath(std::string_view Component);    // POST /v1/components/{c}/actions
std::string VersionPath(std::string_view Component);   // GET  /v1/versions/{c}

// Body of the action request: {"action": word, "value": n}. Bytes of Action
// that are not UTF-8 become U+FFFD, so the body is always JSON.
std::string EncodeActionRequest(std::string_view Action, int32_t Value);

} // namespace wdx::statshost

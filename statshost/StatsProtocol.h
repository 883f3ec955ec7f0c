#pragma once
// The statistics protocol's fixed parts: limits, request paths, the action
// request, and the broker-side encoding of every answer. docs/protocol.md is
// the description a broker is built from; this file and StatsDecoder.h are
// its two halves in code.

#include "statshost/StatsTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Every byte other than A-Z a-z 0-9 - . _ ~ becomes %XX (upper-case hex).
std::string PercentEncode(std::string_view Text);
// Undoes PercentEncode; '+' stays '+'. Empty when an escape is broken.
std::optional<std::string> PercentDecode(std::string_view Text);

// Request paths, names already encoded.
std::string BrokerPath();                              // GET  /v1/broker
std::string HealthPath();                              // GET  /v1/health
std::string ComponentsPath();                          // GET  /v1/components
std::string ComponentPath(std::string_view Component); // GET  /v1/components/{c}
std::string ServicesPath(std::string_view Component);  // GET  /v1/components/{c}/services
std::string ParametersPath(std::string_view Service);  // GET  /v1/services/{s}/parameters
std::string ActionPath(std::string_view Component);    // POST /v1/components/{c}/actions
std::string VersionPath(std::string_view Component);   // GET  /v1/versions/{c}

// Body of the action request: {"action": word, "value": n}.
std::string EncodeActionRequest(std::string_view Action, int32_t Value);

// Answers, as a broker writes them.
std::string EncodeBrokerInfo(const TBrokerInfo& Info);
std::string EncodeHealth(const THealth& Health);
std::string EncodeComponents(const std::vector<TComponentStats>& Components);
std::string EncodeServices(std::string_view Component, const std::vector<TServiceStats>& Services);
std::string EncodeParameters(std::string_view Service, const std::vector<TParamInfo>& Params);
std::string EncodeComponentDetails(const TComponentDetails& Details);
std::string EncodeActionDone(const TActionDone& Done);
std::string EncodeVersion(std::string_view Component, const TVersionInfo& Version);
std::string EncodeError(int32_t Code, std::string_view Text);

} // namespace wdx::statshost

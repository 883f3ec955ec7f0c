#pragma once
// Faults the simulator injects on request, per path, so that tests can see
// how a client copes with a broker that misbehaves.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::brokersim {

enum class TFaultKind {
    Refuse,    // close the connection without an answer
    Stall,     // wait Millis before answering
    Trickle,   // send the answer one byte every Millis
    Error,     // answer Status with an error answer carrying Text
    Malformed, // send the first half of the real answer
    Oversize,  // send a body of Bytes bytes, chunked, so no length is known ahead
    Body,      // answer Status with Text as the body, verbatim
};

struct TFault {
    std::string Path; // request path as sent (encoded); a trailing '*' matches any rest
    TFaultKind Kind = TFaultKind::Error;
    int Millis = 0;
    int Status = 500;
    std::string Text;
    std::size_t Bytes = 0;
    int Count = -1; // how many requests it still hits; -1 = until cleared
};

class EFaultSpec : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Upper bounds, so a fault cannot hold the simulator forever.
inline constexpr int MaxFaultMillis = 600000;
inline constexpr std::size_t MaxOversizeBytes = 1024u * 1024 * 1024;

// "PATH=KIND[:ARG[:TEXT]]": refuse, stall[:ms], trickle[:ms], error[:status[:text]],
// malformed, oversize[:bytes]. Throws EFaultSpec.
TFault ParseFaultSpec(std::string_view Text);
// {"path", "kind", "ms", "status", "text", "body", "bytes", "count"}. Throws EFaultSpec.
TFault FaultFromJson(const nlohmann::json& Json);
nlohmann::json FaultToJson(const TFault& Fault);

// The faults in force. Thread-safe.
class TFaultTable {
public:
    // A fault for the same path replaces the one there.
    void Add(TFault Fault);
    void Clear();
    std::vector<TFault> List() const;
    // The first fault whose path matches, counting the hit.
    std::optional<TFault> Take(std::string_view Path);

private:
    mutable std::mutex FLock;
    std::vector<TFault> FFaults;
};

} // namespace wdx::brokersim

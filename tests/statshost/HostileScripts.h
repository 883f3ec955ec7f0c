#pragma once
// The hostile brokers of HostileBrokerTest.cpp by name, so that the Linux
// side can serve the same ones to the tests on Windows (TestBroker.h).

#include "TestBroker.h"
#include "statshost/StatsEncoders.h"
#include "statshost/StatsProtocol.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include "ScriptedBroker.h"
#endif

namespace wdx::testing {

inline std::string ComponentList(std::size_t Rows) {
    std::vector<statshost::TComponentStats> rows(Rows);
    for (std::size_t i = 0; i < Rows; ++i)
        rows[i] = {"Component " + std::to_string(i), 1, 8, 120, 2, 15, 40};
    return statshost::EncodeComponents(rows);
}

// Many ordinary header lines, together over the limit.
inline std::string ManyHeaders() {
    std::string many;
    for (int i = 0; many.size() <= statshost::MaxHeaderBytes; ++i)
        many += "X-Padding-" + std::to_string(i) + ": " + std::string(100, 'p') + "\r\n";
    return many;
}

// Headers just within the limit.
inline std::string FittingHeaders() {
    std::string fits;
    while (fits.size() + 200 < statshost::MaxHeaderBytes - 200)
        fits += "X-Fits: " + std::string(90, 'f') + "\r\n";
    return fits;
}

// A 5 MB error text of 2-, 3- and 4-byte characters.
inline std::string HugeErrorText() {
    std::string text;
    while (text.size() < 5u * 1024 * 1024)
        text += "Fehler \xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80 ";
    return text;
}

// The rows of the "decode-deadline" broker's answer.
inline constexpr std::size_t DecodeDeadlineRows = 300000;

inline const char* const HostileNames[] = {"decode-deadline", "headers-many", "headers-one-line",
                                           "headers-fit",     "huge-error",   "trickled-headers",
                                           "redirect"};

#ifndef _WIN32

inline TScriptedBroker::TScript HostileScript(std::string_view Name) {
    using TConnection = TScriptedBroker::TConnection;
    auto answer = [](std::string Text) { return [Text = std::move(Text)](TConnection& c) { c.Send(Text); }; };
    if (Name == "decode-deadline") {
        // About 30 MB, the last 1000 bytes held back until just before the
        // deadline of 1 second.
        return [whole = TScriptedBroker::Answer(200, ComponentList(DecodeDeadlineRows))](TConnection& c) {
            std::size_t last = whole.size() - 1000;
            c.Send(std::string_view(whole).substr(0, last));
            if (c.Wait(850))
                c.Send(std::string_view(whole).substr(last));
        };
    }
    if (Name == "headers-many")
        return answer(TScriptedBroker::Answer(200, "{}", ManyHeaders()));
    if (Name == "headers-one-line") // longer than any HTTP client buffers
        return answer(TScriptedBroker::Answer(200, "{}", "X-Huge: " + std::string(300 * 1024, 'h') + "\r\n"));
    if (Name == "headers-fit")
        return answer(TScriptedBroker::Answer(200, R"({"state":"healthy"})", FittingHeaders()));
    if (Name == "huge-error")
        return answer(TScriptedBroker::Answer(503, statshost::EncodeError(42, HugeErrorText())));
    if (Name == "trickled-headers") {
        return [](TConnection& c) {
            for (char ch : std::string("HTTP/1.1 200 OK\r\nX-Slow: ") + std::string(100, 's'))
                if (!c.Send(std::string_view(&ch, 1)) || !c.Wait(50))
                    return;
        };
    }
    if (Name == "redirect") // elsewhere, on this very broker: never followed
        return answer(
            TScriptedBroker::Answer(302, statshost::EncodeError(9, "Moved."), "Location: /v1/health\r\n"));
    throw std::invalid_argument("no hostile broker is named " + std::string(Name));
}

// The hostile broker Name, served in this process.
class THostileBroker {
public:
    explicit THostileBroker(std::string_view Name) : FBroker(HostileScript(Name)) {}
    int Port() const { return FBroker.Port(); }

private:
    TScriptedBroker FBroker;
};

#else

// The hostile broker Name, served by the Linux side.
class THostileBroker {
public:
    explicit THostileBroker(std::string_view Name) : FPort(PeerPort(Name)) {}
    int Port() const { return FPort; }

private:
    int FPort;
};

#endif

} // namespace wdx::testing

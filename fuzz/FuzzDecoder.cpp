// libFuzzer target: every answer decoder and the error-answer decoder on the
// same bytes. Beyond "no crash, no hang, no sanitizer report" it checks that
// whatever a decoder accepts survives encoding and decoding again unchanged,
// so the decoder and the broker-side encoder cannot drift apart; that what
// the reader calls JSON or not is what a second, strict parser calls it; and
// that the quick parser gives the full reader's records and messages.

#include "statshost/StatsDecoder.h"
#include "statshost/StatsEncoders.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <string_view>

using namespace wdx::statshost;

namespace {

void Check(bool Ok) {
    if (!Ok)
        std::abort();
}

// Small caps, so that the size and nesting limits are reached often.
const TDecodeLimits Limits{64 * 1024, MaxNestingDepth};

// The same limits, every answer read by the full reader alone.
TDecodeLimits FullReader() {
    TDecodeLimits L = Limits;
    L.QuickParse = false;
    return L;
}

// The quick parser's result is the full reader's: the same records, or the
// same failure in the same words.
template <class R> void CheckSame(const R& Quick, const R& Full) {
    Check(Quick.Ok() == Full.Ok());
    if (Quick.Ok())
        Check(Quick.Value() == Full.Value());
    else
        Check(Quick.Error().Text == Full.Error().Text && Quick.Error().Kind == Full.Error().Kind);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::string_view body(reinterpret_cast<const char*>(Data), Size);

    CheckSame(DecodeComponents(body, Limits), DecodeComponents(body, FullReader()));
    CheckSame(DecodeServices(body, Limits), DecodeServices(body, FullReader()));
    CheckSame(DecodeParameters(body, Limits), DecodeParameters(body, FullReader()));
    CheckSame(DecodeComponentDetails(body, Limits), DecodeComponentDetails(body, FullReader()));

    if (auto r = DecodeComponents(body, Limits); r.Ok()) {
        auto again = DecodeComponents(EncodeComponents(r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value() == r.Value());
        Check(nlohmann::json::accept(body));
    } else {
        Check(!r.Error().Text.empty());
        // The other parser ends its input at a NUL byte; the reader reads
        // on and refuses what follows.
        if (r.Error().Text.find("not valid JSON") != std::string::npos &&
            body.find('\0') == std::string_view::npos)
            Check(!nlohmann::json::accept(body));
    }
    if (auto r = DecodeServices(body, Limits); r.Ok()) {
        auto again = DecodeServices(EncodeServices("c", r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value() == r.Value());
    }
    if (auto r = DecodeParameters(body, Limits); r.Ok()) {
        auto again = DecodeParameters(EncodeParameters("s", r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value() == r.Value());
    }
    if (auto r = DecodeComponentDetails(body, Limits); r.Ok()) {
        auto again = DecodeComponentDetails(EncodeComponentDetails(r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value() == r.Value());
    }
    if (auto r = DecodeHealth(body, Limits); r.Ok()) {
        auto again = DecodeHealth(EncodeHealth(r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value().State == r.Value().State && again.Value().Text == r.Value().Text);
    }
    if (auto r = DecodeVersion(body, Limits); r.Ok()) {
        auto again = DecodeVersion(EncodeVersion("c", r.Value()), TDecodeLimits{});
        Check(again.Ok() && again.Value().Found == r.Value().Found &&
              again.Value().Version == r.Value().Version);
    }
    (void)DecodeActionDone(body, Limits);
    (void)DecodeBrokerInfo(body, Limits);

    TStatsError e = DecodeErrorAnswer(503, body, Limits);
    Check(e.Kind == TStatsFailure::BrokerError && e.Code != 0 && !e.Text.empty());

    // A cut text is a prefix of the text, ends at a character's start, and
    // keeps at most the given number of characters before its note.
    std::string cut = CutOperatorText(std::string(body), 40);
    if (cut.size() != body.size() || cut != body) {
        std::size_t note = cut.rfind(" [\xe2\x80\xa6] (The broker's text was cut here");
        Check(note != std::string::npos && body.substr(0, note) == std::string_view(cut).substr(0, note));
        Check(note == body.size() || (static_cast<unsigned char>(body[note]) & 0xC0) != 0x80);
        std::size_t chars = 0;
        for (std::size_t i = 0; i < note; ++i)
            chars += (static_cast<unsigned char>(body[i]) & 0xC0) != 0x80;
        Check(chars == 40);
    }

    if (auto decoded = PercentDecode(body))
        Check(PercentDecode(PercentEncode(*decoded)) == decoded);
    return 0;
}

// The statistics client against brokers that break the protocol on purpose,
// scripted byte for byte on loopback (HostileScripts.h): answers too big to
// decode in time, oversized headers, huge error texts.

#include "HostileScripts.h"
#include "statshost/StatsClient.h"
#include "statshost/StatsEncoders.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace wdx::statshost;
using wdx::testing::THostileBroker;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

using wdx::testing::ComponentList;

std::string TimeOutText(int Port) {
    return "Time-out: the broker at 127.0.0.1:" + std::to_string(Port) + " did not answer within 1 second.";
}

} // namespace

// The deadline covers the decode: an answer that arrives just before the
// deadline and takes longer to decode than is left either completes within
// the deadline or fails with the time-out's text at the deadline, never later.
TEST(HostileBroker, DeadlineCoversTheDecode) {
    THostileBroker broker("decode-deadline");
    TStatsClient client("127.0.0.1", broker.Port(), 1);
    auto start = TClock::now();
    auto r = client.GetComponents();
    double took = SecondsSince(start);
    EXPECT_LT(took, 1.15);
    if (r.Ok()) {
        EXPECT_EQ(r.Value().size(), wdx::testing::DecodeDeadlineRows);
    } else {
        EXPECT_EQ(r.Error().Kind, TStatsFailure::TimeOut);
        EXPECT_EQ(r.Error().Text, TimeOutText(broker.Port()));
        EXPECT_GE(took, 0.95);
    }
}

// A decode that cannot finish before the deadline ends with TimeOut; with no
// deadline the same bytes decode.
TEST(HostileBroker, DecoderStopsAtItsDeadline) {
    const std::string body = ComponentList(50000);
    TDecodeLimits past;
    past.Deadline = TClock::now();
    auto r = DecodeComponents(body, past);
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::TimeOut);
    auto late = DecodeErrorAnswer(500, EncodeError(3, std::string(3 << 20, 'x')), past);
    EXPECT_EQ(late.Kind, TStatsFailure::TimeOut);
    auto all = DecodeComponents(body);
    ASSERT_TRUE(all.Ok()) << all.Error().Text;
    EXPECT_EQ(all.Value().size(), 50000u);
}

namespace {

void ExpectHeadersTooLarge(const char* Name) {
    THostileBroker broker(Name);
    TStatsClient client("127.0.0.1", broker.Port(), 5);
    auto r = client.GetHealth();
    ASSERT_FALSE(r.Ok()) << Name;
    EXPECT_EQ(r.Error().Kind, TStatsFailure::TooLarge) << Name << ": " << r.Error().Text;
    EXPECT_EQ(r.Error().Text,
              "The headers of the answer of the broker at 127.0.0.1:" + std::to_string(broker.Port()) +
                  " are larger than the limit of " + std::to_string(MaxHeaderBytes) + " bytes.");
}

} // namespace

TEST(HostileBroker, OversizedHeadersAreReportedAsSuch) {
    // Many ordinary header lines, together over the limit.
    ExpectHeadersTooLarge("headers-many");
    // Headers just within the limit are fine.
    THostileBroker broker("headers-fit");
    TStatsClient client("127.0.0.1", broker.Port(), 5);
    auto r = client.GetHealth();
    EXPECT_TRUE(r.Ok()) << r.Error().Text;
}

// One header line longer than any HTTP client buffers.
TEST(HostileBroker, OneHugeHeaderLineIsReportedAsTooLarge) {
    if (wdx::testing::RunningUnderWine())
        GTEST_SKIP() << "Wine's WinHTTP keeps only the first 1.5 KB or so of an over-long header line and "
                        "reports no error, so the line's size never reaches the client; Windows refuses "
                        "headers over WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE itself";
    ExpectHeadersTooLarge("headers-one-line");
}

// A 5 MB error text reaches the operator cut to what a message box shows,
// at a character boundary, saying that it was cut.
TEST(HostileBroker, HugeErrorTextIsCutWithANote) {
    const std::string text = wdx::testing::HugeErrorText();
    THostileBroker broker("huge-error");
    TStatsClient client("127.0.0.1", broker.Port(), 10);
    auto r = client.GetComponents();
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::BrokerError);
    EXPECT_EQ(r.Error().Code, 42);
    const std::string& shown = r.Error().Text;
    std::size_t note = shown.find(" [\xe2\x80\xa6] (The broker's text was cut here: it has ");
    ASSERT_NE(note, std::string::npos) << shown.substr(0, 200);
    std::string kept = shown.substr(0, note);
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    std::size_t chars = 0;
    for (unsigned char ch : kept)
        chars += (ch & 0xC0) != 0x80;
    EXPECT_EQ(chars, MaxErrorTextChars);
    // The cut falls before a character's first byte, never inside one.
    EXPECT_NE(static_cast<unsigned char>(text[kept.size()]) & 0xC0, 0x80);
    EXPECT_LT(shown.size(), 4 * MaxErrorTextChars + 200);
}

TEST(HostileBroker, CutOperatorTextKeepsShortTextsAndCharacters) {
    EXPECT_EQ(CutOperatorText("short"), "short");
    std::string exact(MaxErrorTextChars, 'a');
    EXPECT_EQ(CutOperatorText(exact), exact);
    // Three 3-byte characters, cut after two.
    std::string cut = CutOperatorText("\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac", 2);
    EXPECT_EQ(
        cut,
        "\xe2\x82\xac\xe2\x82\xac [\xe2\x80\xa6] (The broker's text was cut here: it has 3 characters.)");
}

TEST(HostileBroker, NulInANameOrTextIsMalformed) {
    auto name = DecodeComponents(
        R"({"components":[{"name":"Ord\u0000ers","active":1,"maximum":2,"requests":3,"queued":4,"queueTime":5,"serviceTime":6}]})");
    ASSERT_FALSE(name.Ok());
    EXPECT_EQ(name.Error().Kind, TStatsFailure::Malformed);
    EXPECT_NE(name.Error().Text.find("components[0].name must not hold a NUL character"), std::string::npos)
        << name.Error().Text;
    EXPECT_FALSE(DecodeHealth(R"({"state":"warning","text":"a\u0000b"})").Ok());
    EXPECT_FALSE(DecodeVersion(R"({"found":true,"version":"4.2\u0000"})").Ok());
    EXPECT_FALSE(
        DecodeComponentDetails(
            R"({"name":"A","invokedBy":"ws\u0000","active":1,"maximum":2,"requests":3,"queued":4,"queueTime":5,"serviceTime":6})")
            .Ok());
    // An error text with a NUL is no readable error text.
    auto e = DecodeErrorAnswer(500, R"({"error":{"code":7,"text":"bad\u0000"}})");
    EXPECT_NE(e.Text.find("no readable error text"), std::string::npos) << e.Text;
    // Escaped characters other than NUL are fine.
    auto ok = DecodeHealth(R"({"state":"warning","text":"tab\tnew\u0001line"})");
    ASSERT_TRUE(ok.Ok()) << ok.Error().Text;
    EXPECT_EQ(ok.Value().Text, "tab\tnew\x01line");
}

// A broker that sends its headers a byte at a time is held to the deadline
// like one that trickles its body.
TEST(HostileBroker, TrickledHeadersMeetTheDeadline) {
    THostileBroker broker("trickled-headers");
    TStatsClient client("127.0.0.1", broker.Port(), 1);
    auto start = TClock::now();
    auto r = client.GetHealth();
    double took = SecondsSince(start);
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Text, TimeOutText(broker.Port()));
    EXPECT_GE(took, 0.95);
    EXPECT_LT(took, 1.5);
}

// A redirect is an answer like any other that is not 200, never followed.
TEST(HostileBroker, RedirectsAreNotFollowed) {
    THostileBroker broker("redirect");
    TStatsClient client("127.0.0.1", broker.Port(), 5);
    auto r = client.GetHealth();
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::BrokerError);
    EXPECT_EQ(r.Error().HttpStatus, 302);
    EXPECT_EQ(r.Error().Text, "Moved.");
}

// The answer decoder against good, malformed, truncated, oversized, deeply
// nested and wrongly typed bodies, without a socket.

#include "statshost/PlainJson.h"
#include "statshost/StatsDecoder.h"
#include "statshost/StatsEncoders.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <sstream>
#include <string>

using namespace wdx::statshost;

namespace {

std::string Row(const std::string& Member, const std::string& Value) {
    std::string row =
        R"({"name":"Orders","active":1,"maximum":2,"requests":3,"queued":4,"queueTime":5,"serviceTime":6})";
    auto pos = row.find("\"" + Member + "\":");
    EXPECT_NE(pos, std::string::npos) << Member;
    auto start = pos + Member.size() + 3;
    auto end = row.find_first_of(",}", start);
    return row.substr(0, start) + Value + row.substr(end);
}

std::string List(const std::string& Rows) {
    return R"({"components":[)" + Rows + "]}";
}

void ExpectMalformed(const TStatsResult<std::vector<TComponentStats>>& R, const std::string& Mentions) {
    ASSERT_FALSE(R.Ok());
    EXPECT_EQ(R.Error().Kind, TStatsFailure::Malformed);
    EXPECT_NE(R.Error().Text.find(Mentions), std::string::npos) << R.Error().Text;
}

// The calls a SAX parser makes, one line each.
struct TCallLog {
    std::string Calls;
    bool Null() { return Add("null"); }
    bool Bool(bool V) { return Add(V ? "true" : "false"); }
    bool Int(int) { return Add("int"); }
    bool Uint(unsigned) { return Add("uint"); }
    bool Int64(std::int64_t) { return Add("int64"); }
    bool Uint64(std::uint64_t) { return Add("uint64"); }
    bool Double(double) { return Add("double"); }
    bool RawNumber(const char* T, unsigned N, bool) { return Add("number " + std::string(T, N)); }
    bool String(const char* T, unsigned N, bool) { return Add("text " + std::string(T, N)); }
    bool Key(const char* T, unsigned N, bool) { return Add("key " + std::string(T, N)); }
    bool StartObject() { return Add("{"); }
    bool EndObject(unsigned) { return Add("}"); }
    bool StartArray() { return Add("["); }
    bool EndArray(unsigned) { return Add("]"); }
    bool Add(const std::string& Call) {
        Calls += Call + "\n";
        return true;
    }
};

} // namespace

TEST(Decoder, EveryAnswerSurvivesEncodeAndDecode) {
    std::vector<TComponentStats> comps{
        {"Orders", 1, 8, 120, 2, 15, 40},
        {"Price Engine/\xce\xb1%", 0, 2, 0, 0, 0, 0},
        {"Max", 2147483647, 2147483647, 2147483647, 2147483647, 2147483647, 0}};
    auto c = DecodeComponents(EncodeComponents(comps));
    ASSERT_TRUE(c.Ok()) << c.Error().Text;
    EXPECT_EQ(c.Value(), comps);

    std::vector<TServiceStats> svcs{{"Orders.Create", 100, 2, 15, 45}, {"Orders.Cancel", 20, 0, 0, 12}};
    auto s = DecodeServices(EncodeServices("Orders", svcs));
    ASSERT_TRUE(s.Ok()) << s.Error().Text;
    EXPECT_EQ(s.Value(), svcs);

    std::vector<TParamInfo> params{{"Amount", 2, 3, 15, 2}, {"Low", -32768, 5, 32767, -32768}};
    auto p = DecodeParameters(EncodeParameters("Orders.Create", params));
    ASSERT_TRUE(p.Ok()) << p.Error().Text;
    EXPECT_EQ(p.Value(), params);

    TComponentDetails d{"Orders", "ws-01, ws-02", 3, 8, 120, 2, 15, 40};
    auto dd = DecodeComponentDetails(EncodeComponentDetails(d));
    ASSERT_TRUE(dd.Ok()) << dd.Error().Text;
    EXPECT_EQ(dd.Value(), d);

    auto h = DecodeHealth(EncodeHealth({THealthState::Warning, "Disk nearly full"}));
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Value().State, THealthState::Warning);
    EXPECT_EQ(h.Value().Text, "Disk nearly full");

    auto v = DecodeVersion(EncodeVersion("wdxappserver", {true, "4.2.1"}));
    ASSERT_TRUE(v.Ok());
    EXPECT_TRUE(v.Value().Found);
    EXPECT_EQ(v.Value().Version, "4.2.1");
    auto nf = DecodeVersion(EncodeVersion("nothing", {false, ""}));
    ASSERT_TRUE(nf.Ok());
    EXPECT_FALSE(nf.Value().Found);

    auto a = DecodeActionDone(EncodeActionDone({"Orders", "setmax", -5}));
    ASSERT_TRUE(a.Ok());
    EXPECT_EQ(a.Value().Value, -5);
    auto b = DecodeBrokerInfo(EncodeBrokerInfo({"Demo", 1}));
    ASSERT_TRUE(b.Ok());
    EXPECT_EQ(b.Value().Name, "Demo");
}

TEST(Decoder, UnknownMembersAreIgnoredAndEmptyListsAreLists) {
    auto r = DecodeComponents(R"({"components":[],"generatedAt":"now","extra":{"a":[1,2]}})");
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.Value().empty());
    auto row = DecodeComponents(List(Row("name", R"("X","colour":"red")")));
    ASSERT_TRUE(row.Ok()) << row.Error().Text;
    EXPECT_EQ(row.Value()[0].Name, "X");
}

TEST(Decoder, CountersOutsideTheirWidthAreRefusedNotWrapped) {
    ExpectMalformed(DecodeComponents(List(Row("active", "2147483648"))), "components[0].active");
    ExpectMalformed(DecodeComponents(List(Row("requests", "4294967296"))),
                    "must be an integer from 0 to 2147483647");
    // Read as signed, this one would come out as -1.
    ExpectMalformed(DecodeComponents(List(Row("queued", "18446744073709551615"))), "18446744073709551615");
    ExpectMalformed(DecodeComponents(List(Row("queueTime", "-1"))), "components[0].queueTime");
    ExpectMalformed(DecodeComponents(List(Row("serviceTime", "1e400"))), "number beyond any numeric range");
    ExpectMalformed(DecodeComponents(List(Row("serviceTime", "100e307"))), "number beyond any numeric range");
    // The fault in the second row is named as such.
    ExpectMalformed(DecodeComponents(List(Row("name", "\"A\"") + "," + Row("maximum", "-7"))),
                    "components[1].maximum");

    // Signed members: a huge unsigned number must not come out as -1 either.
    EXPECT_FALSE(
        DecodeActionDone(R"({"component":"A","action":"setmax","value":18446744073709551615})").Ok());
    EXPECT_FALSE(DecodeActionDone(R"({"component":"A","action":"setmax","value":2147483648})").Ok());
    EXPECT_TRUE(DecodeActionDone(R"({"component":"A","action":"setmax","value":-2147483648})").Ok());

    auto wide = DecodeParameters(
        R"({"parameters":[{"name":"P","dataType":32768,"mode":1,"precision":0,"scale":0}]})");
    ASSERT_FALSE(wide.Ok());
    EXPECT_NE(wide.Error().Text.find("parameters[0].dataType must be an integer from -32768 to 32767"),
              std::string::npos)
        << wide.Error().Text;
    auto low = DecodeParameters(
        R"({"parameters":[{"name":"P","dataType":1,"mode":1,"precision":0,"scale":-32769}]})");
    EXPECT_FALSE(low.Ok());
    auto details = DecodeComponentDetails(
        R"({"name":"A","invokedBy":"","active":1,"maximum":2,"requests":3,"queued":4,"queueTime":5,"serviceTime":99999999999})");
    ASSERT_FALSE(details.Ok());
    EXPECT_NE(details.Error().Text.find("serviceTime"), std::string::npos);
}

TEST(Decoder, WronglyTypedMembersAreNamed) {
    ExpectMalformed(DecodeComponents(List(Row("active", "\"5\""))), "components[0].active");
    ExpectMalformed(DecodeComponents(List(Row("active", "5.0"))), "(found 5)");
    ExpectMalformed(DecodeComponents(List(Row("active", "1.5"))), "(found 1.5)");
    ExpectMalformed(DecodeComponents(List(Row("maximum", "true"))), "(found true)");
    ExpectMalformed(DecodeComponents(List(Row("requests", "null"))), "(found null)");
    ExpectMalformed(DecodeComponents(List(Row("name", "42"))), "components[0].name must be a text");
    ExpectMalformed(DecodeComponents(List(Row("name", "\"\""))), "components[0].name must not be empty");
    ExpectMalformed(DecodeComponents(List("[1]")), "components[0] must be an object");
    ExpectMalformed(DecodeComponents(R"({"components":{"name":"A"}})"), "components must be an array");
    ExpectMalformed(DecodeComponents(R"({"rows":[]})"), "components is missing");
    ExpectMalformed(DecodeComponents(List(R"({"name":"A","active":1})")), "components[0].maximum is missing");
    for (const char* top : {"[]", "\"components\"", "42", "null"})
        ExpectMalformed(DecodeComponents(top), "the answer must be an object");

    auto health = DecodeHealth(R"({"state":"fine"})");
    ASSERT_FALSE(health.Ok());
    EXPECT_NE(health.Error().Text.find("state"), std::string::npos);
    auto version = DecodeVersion(R"({"found":true})");
    ASSERT_FALSE(version.Ok());
    EXPECT_NE(version.Error().Text.find("version is missing"), std::string::npos);
    EXPECT_FALSE(DecodeVersion(R"({"found":"yes","version":"1"})").Ok());
    EXPECT_FALSE(DecodeBrokerInfo(R"({"name":"B","protocol":0})").Ok());
}

TEST(Decoder, NotJsonAndEveryTruncationAreMalformed) {
    ExpectMalformed(DecodeComponents(""), "empty");
    ExpectMalformed(DecodeComponents("<html>Bad gateway</html>"), "not valid JSON");
    ExpectMalformed(DecodeComponents(R"({"components":[]} trailing)"), "not valid JSON");
    // Invalid UTF-8 inside a name.
    ExpectMalformed(DecodeComponents(List(Row("name", "\"\xff\xfe\""))), "not valid JSON");

    std::string good = EncodeComponents({{"Orders", 1, 8, 120, 2, 15, 40}, {"Billing", 0, 2, 5, 0, 0, 7}});
    ASSERT_TRUE(DecodeComponents(good).Ok());
    for (std::size_t n = 0; n < good.size(); ++n) {
        auto r = DecodeComponents(std::string_view(good).substr(0, n));
        ASSERT_FALSE(r.Ok()) << "prefix of " << n << " bytes was accepted";
        EXPECT_EQ(r.Error().Kind, TStatsFailure::Malformed);
    }
}

// Corners of the grammar, as values.
const std::vector<std::string> GrammarCorners{R"("\udc00")",
                                              R"("\ud800")",
                                              R"("\ud800\udc00")",
                                              R"("\ud800x")",
                                              R"("\ud800\u0041")",
                                              "\"\xc0\xaf\"",
                                              "\"\xed\xa0\x80\"",
                                              "\"\xf4\x90\x80\x80\"",
                                              "\"\xe2\x82\"",
                                              "\"\xf0\x9f\x98\x80\"",
                                              R"("\u0000")",
                                              "\"a\tb\"",
                                              R"("\x")",
                                              R"("\u12")",
                                              R"("\/")",
                                              "-0",
                                              "01",
                                              "1.",
                                              ".5",
                                              "1e5",
                                              "-",
                                              "1E400",
                                              "-1e-400",
                                              "18446744073709551616",
                                              "-9223372036854775809",
                                              "[1,]",
                                              R"({"a":1,})",
                                              "tru",
                                              "nul",
                                              "[]",
                                              "{}",
                                              "[[[]]]",
                                              R"({"a":[1,{"b":null}]})",
                                              "NaN",
                                              "Infinity",
                                              "0x1F",
                                              "1 2",
                                              R"({"a" 1})",
                                              R"({1:2})",
                                              "'a'",
                                              "true false"};

TEST(Decoder, WhatIsJsonIsWhatAStrictParserAccepts) {
    // Any value under a member no table knows must still be JSON; the
    // verdict agrees with nlohmann's parser on the corners of the grammar.
    for (const std::string& V : GrammarCorners) {
        const std::string Body = R"({"components":[],"x":)" + V + "}";
        const auto R = DecodeComponents(Body);
        EXPECT_EQ(R.Ok(), nlohmann::json::accept(Body)) << V << ": " << (R.Ok() ? "" : R.Error().Text);
        if (!R.Ok()) {
            EXPECT_EQ(R.Error().Kind, TStatsFailure::Malformed) << V;
        }
    }
    // Whatever follows the answer, a NUL byte included, makes it not JSON;
    // blanks do not.
    const std::string Good = R"({"components":[]})";
    for (const std::string& After : {std::string("\0", 1), std::string(" x"), std::string("{}")})
        ExpectMalformed(DecodeComponents(Good + After), "not valid JSON");
    EXPECT_TRUE(DecodeComponents(Good + " \r\n\t").Ok());
    // A half pair inside a name the table reads, and a NUL inside the body.
    ExpectMalformed(DecodeComponents(List(Row("name", R"("A\udc00")"))), "surrogate");
    ExpectMalformed(DecodeComponents(std::string(R"({"components":[)") + '\0' + "]}"), "not valid JSON");
}

TEST(Decoder, TheQuickParserMakesTheFullParsersCallsOrGivesUp) {
    auto Calls = [](const std::string& Body, bool& Whole) {
        TCallLog Log;
        rapidjson::MemoryStream In(Body.data(), Body.size());
        rapidjson::Reader Parser;
        Whole = !Parser.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(In, Log)
                     .IsError() &&
                In.Tell() == Body.size();
        return Log.Calls;
    };
    const std::string Good =
        EncodeComponents({{"Orders", 1, 8, 120, 2, 15, 40}, {"Größe Ω", 0, 2, 5, 0, 0, 7}});
    std::vector<std::string> Bodies{Good,
                                    " { \"a\" : [ 1 , -2 , true , false , null , {} , [ ] , \"\" ] }\n"};
    for (std::size_t n = 0; n < Good.size(); ++n)
        Bodies.push_back(Good.substr(0, n));
    for (const std::string& V : GrammarCorners)
        Bodies.push_back(R"({"x":)" + V + "}");
    int Done = 0;
    for (const std::string& Body : Bodies) {
        TCallLog Quick;
        const auto Result = wdx::statshost::reader::ParsePlainJson(Body, Quick);
        ASSERT_NE(Result, wdx::statshost::reader::TPlainParse::Stopped) << Body;
        bool Whole = false;
        const std::string Full = Calls(Body, Whole);
        if (Result == wdx::statshost::reader::TPlainParse::Done) {
            ++Done;
            EXPECT_TRUE(Whole) << Body;
            EXPECT_EQ(Quick.Calls, Full) << Body;
        } else {
            // What it did read, it read as the full parser does.
            EXPECT_EQ(Full.substr(0, Quick.Calls.size()), Quick.Calls) << Body;
        }
    }
    // Depth: TooDeep exactly where the nesting check refuses, never Done
    // where it does; the same verdict at every limit around the body's depth.
    Bodies.push_back(R"({"a":[{"b":[[1]],"c":"[[[{{{"},{}],"d":{"e":{}}})");
    Bodies.push_back(Good.substr(0, Good.size() - 2) + ",[[[[{}]]]]]}");
    Bodies.push_back(R"({"a":[[[[[[[[[[)");
    for (const std::string& Body : Bodies)
        for (int Max = 0; Max <= 8; ++Max) {
            TCallLog Quick;
            const auto Result = wdx::statshost::reader::ParsePlainJson(Body, Quick, Max);
            if (Result == wdx::statshost::reader::TPlainParse::TooDeep) {
                EXPECT_FALSE(NestingWithin(Body, Max)) << Max << " " << Body;
            } else if (Result == wdx::statshost::reader::TPlainParse::Done) {
                EXPECT_TRUE(NestingWithin(Body, Max)) << Max << " " << Body;
            }
        }
    TCallLog Open;
    EXPECT_EQ(wdx::statshost::reader::ParsePlainJson(Bodies.back(), Open, 8),
              wdx::statshost::reader::TPlainParse::TooDeep);
    // The answers in the form brokers write are the quick parser's own.
    for (const std::string& Body : {Bodies[0], Bodies[1]}) {
        TCallLog Quick;
        EXPECT_EQ(wdx::statshost::reader::ParsePlainJson(Body, Quick),
                  wdx::statshost::reader::TPlainParse::Done);
    }
    EXPECT_GT(Done, 2);
}

TEST(Decoder, TheQuickParserGivesTheFullReadersVerdictsAndRecords) {
    // Every answer read both ways: the same records, or the same failure in
    // the same words.
    auto Same = [](const std::string& Body) {
        TDecodeLimits Full;
        Full.QuickParse = false;
        const auto Quick = DecodeComponents(Body), Slow = DecodeComponents(Body, Full);
        ASSERT_EQ(Quick.Ok(), Slow.Ok()) << Body;
        if (Quick.Ok())
            EXPECT_EQ(Quick.Value(), Slow.Value()) << Body;
        else
            EXPECT_EQ(Quick.Error().Text, Slow.Error().Text) << Body;
    };
    const std::string Good =
        EncodeComponents({{"Orders", 1, 8, 120, 2, 15, 40}, {"Größe Ω", 0, 2, 5, 0, 0, 7}});
    for (std::size_t n = 0; n <= Good.size(); ++n)
        Same(Good.substr(0, n));
    for (const std::string& V : GrammarCorners) {
        Same(R"({"components":[],"x":)" + V + "}");
        Same(List(Row("name", "\"A\"") + "," + Row("active", V)));
        Same(List(Row("name", V)));
        Same(R"({"components":)" + V + "}");
        Same(V);
    }
    // The form brokers write, spaced out, and with what the quick parser
    // leaves to the full one: escapes, fractions, long numbers, late faults.
    for (const std::string& Body :
         {std::string(" {\n\t\"components\" : [ {\"name\":\"A\", \"active\" :1,\"maximum\":2,\"requests\":3,"
                      "\"queued\":4,\"queueTime\":5,\"serviceTime\":6} ] }\r\n"),
          List(Row("name", R"("A\"B")")), List(Row("name", R"("A\u0041")")),
          List(Row("name", "\"A\"") + "," + Row("active", "1.0")),
          List(Row("name", "\"A\"") + "," + Row("requests", "0000000000000000001")),
          List(Row("name", "\"A\"") + "," + Row("requests", "123456789012345678")),
          List(Row("name", "\"A\"") + "," + Row("requests", "-0")),
          List(Row("name", "\"A\"") + "," + Row("queued", "-5")), List(Row("name", "\"\"")) + "x",
          List(Row("name", "\"A\"")) + "]", List("{}"), List(R"({"name":"A"})"),
          std::string(R"({"components":[],"components":[)") + Row("name", "\"B\"") + "]}",
          std::string(R"({"components":[)") + Row("name", "\"A\"") + "," + Row("name", "\"B\"") + "]}" +
              std::string(1, '\0')})
        Same(Body);
    // Rows read whole and rows declined, side by side, so that a row read
    // whole follows and precedes each: members in the table's order and in
    // another, each value's edges (range, form, escapes and control
    // characters on either side of eight bytes), members missing, twice or
    // unknown, and blanks.
    const std::string Plain = R"({"name":"Orders","active":1,"maximum":2,"requests":3,"queued":4,)"
                              R"("queueTime":5,"serviceTime":6})";
    const std::string Sorted = R"({"active":1,"maximum":2,"name":"Orders","queueTime":5,"queued":4,)"
                               R"("requests":3,"serviceTime":6})";
    std::vector<std::string> Odd{
        "{}",
        R"({"name":"A"})",
        R"({"name":"A","active":1,"maximum":2,"requests":3,"queued":4,"queueTime":5})",
        Plain.substr(0, Plain.size() - 1) + R"(,"extra":7})",
        Plain.substr(0, Plain.size() - 1) + R"(,"active":7})",
        Plain.substr(0, Plain.size() - 1) + " }",
        "{ " + Plain.substr(1),
        Plain.substr(0, Plain.size() - 1) + ",}",
        Plain.substr(0, 7) + Plain.substr(8)};
    // Integers of every length a word holds, and around it; and values
    // that are none.
    std::istringstream Numbers("0 -0 00 01 - -1 12 987 1234 90817 123456 7654321 -1234567 0123456 12345678 "
                               "2147483647 2147483648 -2147483648 999999999999999999 9999999999999999999 "
                               "-99999999999999999 1.5 1e3 true null \"1\" [] {}");
    for (std::string V; Numbers >> V;)
        Odd.push_back(Row("requests", V));
    for (const std::string Name : {"", "A", "ABCDEFG", "ABCDEFGH", "ABCDEFGHI", "ABCDEFGHIJKLMNOPQ"})
        for (const std::string Inside : {"", "\"", "\\\\", "\t", "\x01", "\x7f", "\xc3\xa9", "\\u0041",
                                         "\xff", "\xc3", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
            for (std::size_t At : {std::size_t{0}, Name.size() / 2, Name.size()})
                Odd.push_back(Row("name", "\"" + Name.substr(0, At) + Inside + Name.substr(At) + "\""));
    for (const std::string& R : Odd)
        for (const std::string& Good : {Plain, Sorted})
            Same(List(Good + "," + R + "," + Good + "," + Sorted + "," + R));
    // UTF-8 is checked only when a text held a byte beyond ASCII, and its
    // verdict still comes first: texts the reader takes whole and texts the
    // quick parser hands over, before and after a fault of a row.
    for (const std::string Bad : {"\xff", "\xc3", "\xed\xa0\x80", "\xc3\xa9"}) {
        const std::string Name = Row("name", "\"A" + Bad + "B\"");
        for (const std::string& Body :
             {List(Plain + "," + Name), List(Name + "," + Plain), List(Row("active", "-1") + "," + Name),
              List(Name + "," + Row("active", "-1")), R"({"components":[],"x)" + Bad + R"(":1})",
              R"({"components":[],"x":")" + Bad + R"("})", R"({"x":")" + Bad + R"(","components":[]})",
              R"({"components":[)" + Plain + R"(],"x":[1,2,")" + Bad + R"("]})"})
            Same(Body);
        if (Bad != "\xc3\xa9") {
            ExpectMalformed(DecodeComponents(List(Plain + "," + Name)), "not valid UTF-8");
            ExpectMalformed(DecodeComponents(List(Name + "," + Row("active", "-1"))), "not valid UTF-8");
            ExpectMalformed(DecodeComponents(R"({"components":[],"x":")" + Bad + R"("})"), "not valid UTF-8");
        }
    }
    // Too deep, one level less, and exactly at the limit: seen by the quick
    // parser itself, after a fault it stopped at (the depth verdict comes
    // first), after it gave up (an escape, a fraction), and in a body that
    // is not UTF-8; refused in the nesting check's words every time.
    for (int Levels : {MaxNestingDepth - 2, MaxNestingDepth - 1, MaxNestingDepth}) {
        const std::string Deep = std::string(Levels, '[') + std::string(Levels, ']');
        const std::vector<std::string> Bodies{
            R"({"components":[],"x":)" + Deep + "}",
            R"({"components":[],"x":)" + Deep.substr(0, Deep.size() / 2),
            R"({"components":"none","x":)" + Deep + "}",
            R"({"components":[)" + Row("active", "-1") + R"(],"x":)" + Deep + "}",
            R"({"components":[],"y":"\"","x":)" + Deep + "}",
            R"({"components":[],"y":0.5,"x":)" + Deep + "}",
            std::string(R"({"components":[],"y":")") + "\xff" + R"(","x":)" + Deep + "}"};
        for (const std::string& Body : Bodies) {
            Same(Body);
            if (Levels == MaxNestingDepth)
                ExpectMalformed(DecodeComponents(Body), "nest deeper than 32");
        }
    }
}

TEST(Decoder, BodiesOverTheCapAreRefusedBeforeParsing) {
    std::string good = EncodeComponents({{"Orders", 1, 8, 120, 2, 15, 40}});
    TDecodeLimits exact{good.size(), MaxNestingDepth};
    EXPECT_TRUE(DecodeComponents(good, exact).Ok());
    TDecodeLimits tight{good.size() - 1, MaxNestingDepth};
    auto r = DecodeComponents(good, tight);
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::TooLarge);
    // Not JSON at all, yet the size is what is reported: nothing was parsed.
    auto junk = DecodeHealth(std::string(DefaultMaxBodyBytes + 1, '['));
    ASSERT_FALSE(junk.Ok());
    EXPECT_EQ(junk.Error().Kind, TStatsFailure::TooLarge);
}

TEST(Decoder, MemberNamesMatchOnlyWhenEveryByteDoes) {
    // One letter of one member name changed, at every place of every name
    // (4 to 11 bytes, compared a word at a time): that member is missing.
    const std::string Good = Row("name", "\"A\"");
    for (const std::string Key :
         {"name", "active", "maximum", "requests", "queued", "queueTime", "serviceTime"}) {
        const std::size_t At = Good.find("\"" + Key + "\":") + 1;
        for (std::size_t I = 0; I < Key.size(); ++I) {
            std::string Changed = Good;
            Changed[At + I] ^= 0x20; // the letter's other case
            for (bool Quick : {true, false}) {
                TDecodeLimits Limits;
                Limits.QuickParse = Quick;
                ExpectMalformed(DecodeComponents(List(Changed), Limits),
                                "components[0]." + Key + " is missing");
                // Between good rows, whose names the reader then looks for
                // first (with room after them for a whole word).
                ExpectMalformed(DecodeComponents(List(Good + "," + Changed + "," + Good), Limits),
                                "components[1]." + Key + " is missing");
            }
        }
    }
}

TEST(Decoder, DeepNestingIsRefusedWithoutRecursion) {
    auto nested = [](int Depth) {
        return R"({"components":[],"x":)" + std::string(Depth, '[') + std::string(Depth, ']') + "}";
    };
    // The object and the answer's own array count as levels too.
    EXPECT_TRUE(DecodeComponents(nested(MaxNestingDepth - 1)).Ok());
    ExpectMalformed(DecodeComponents(nested(MaxNestingDepth)), "nest deeper than 32");
    // A million open brackets: refused at the 33rd, not parsed.
    ExpectMalformed(DecodeComponents(std::string(1000000, '[')), "nest deeper");
    ExpectMalformed(DecodeComponents(std::string(500000, '{') + "\"a\":1"), "nest deeper");

    // Brackets inside texts, escaped quotes included, are not nesting.
    std::string name = "\\\"" + std::string(100, '[') + "\\\\";
    auto r = DecodeComponents(List(Row("name", "\"" + name + "\"")));
    ASSERT_TRUE(r.Ok()) << r.Error().Text;
    EXPECT_EQ(r.Value()[0].Name, "\"" + std::string(100, '[') + "\\");
    // Closers without openers (found by the fuzzer) are not JSON, and the
    // pre-scan must not stumble over them before the parser says so.
    ExpectMalformed(DecodeComponents("@`}`}@{@\""), "not valid JSON");
    ExpectMalformed(DecodeComponents("]]]]{[{"), "not valid JSON");
    EXPECT_TRUE(NestingWithin(R"({"a":"\"[[[["})", 1));
    EXPECT_FALSE(NestingWithin(R"({"a":"\\",[[]]})", 2));
}

TEST(Decoder, ErrorAnswersGiveTheBrokersCodeAndText) {
    auto e = DecodeErrorAnswer(404, EncodeError(1, "The component \"X\" is not known to this broker."));
    EXPECT_EQ(e.Kind, TStatsFailure::BrokerError);
    EXPECT_EQ(e.HttpStatus, 404);
    EXPECT_EQ(e.Code, 1);
    EXPECT_EQ(e.Text, "The component \"X\" is not known to this broker.");

    // Whatever the body, the failure is never one without a code or text.
    for (const char* body : {"", "Service Unavailable", R"({"error":{"code":"x","text":"t"}})",
                             R"({"error":"down"})", R"({"message":"down"})"}) {
        auto g = DecodeErrorAnswer(503, body);
        EXPECT_EQ(g.Kind, TStatsFailure::BrokerError) << body;
        EXPECT_EQ(g.Code, 503) << body;
        EXPECT_NE(g.Text.find("HTTP status 503"), std::string::npos) << body;
    }
    auto zero = DecodeErrorAnswer(500, R"({"error":{"code":0,"text":"Odd"}})");
    EXPECT_EQ(zero.Code, 500);
    EXPECT_EQ(zero.Text, "Odd");
    auto empty = DecodeErrorAnswer(409, R"({"error":{"code":4,"text":""}})");
    EXPECT_EQ(empty.Code, 4);
    EXPECT_NE(empty.Text.find("empty error text"), std::string::npos);
}

TEST(Protocol, NamesAreEncodedIntoOnePathSegment) {
    EXPECT_EQ(ServicesPath("Price Engine/\xce\xb1%"), "/v1/components/Price%20Engine%2F%CE%B1%25/services");
    EXPECT_EQ(ParametersPath("Orders.Create"), "/v1/services/Orders.Create/parameters");
    EXPECT_EQ(VersionPath("wdxappserver"), "/v1/versions/wdxappserver");
    EXPECT_EQ(PercentEncode("a-b_c.d~e?f#g&h+"), "a-b_c.d~e%3Ff%23g%26h%2B");

    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    auto back = PercentDecode(PercentEncode(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
    EXPECT_EQ(PercentDecode("a+b%2fc"), "a+b/c");
    for (const char* broken : {"%", "%4", "a%zz", "%g0", "abc%"})
        EXPECT_FALSE(PercentDecode(broken).has_value()) << broken;
}

// The client writes the action request itself: quotes and controls escaped,
// a byte that is not UTF-8 replaced, a cut sequence at the end too.
TEST(Protocol, ActionRequestIsAlwaysJson) {
    EXPECT_EQ(EncodeActionRequest("setmax", -5), R"({"action":"setmax","value":-5})");
    EXPECT_EQ(EncodeActionRequest("a\"b\\\n\xce\xb1", 0),
              "{\"action\":\"a\\\"b\\\\\\n\xce\xb1\",\"value\":0}");
    EXPECT_EQ(EncodeActionRequest("x\xffy\xce", 1),
              "{\"action\":\"x\xEF\xBF\xBDy\xEF\xBF\xBD\",\"value\":1}");
}

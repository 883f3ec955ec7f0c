// WDXStat's output without a broker: alignment, CSV, JSON, sorting,
// matching and rates.

#include "tools/StatTable.h"
#include "tools/StatBroker.h"
#include "tools/StatJson.h"
#include "tools/StatRates.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <limits>
#include <random>
#include <string_view>
#include <utility>

using namespace wdx::tools;

namespace {

TStatTable Sample() {
    TStatTable T;
    T.Columns = {{"Name", "name", false}, {"Requests", "requests"}, {"Queued", "queued"}};
    T.Rows = {{std::string("orders"), std::int64_t(120), std::int64_t(2)},
              {std::string("Äpfel, \"grün\""), std::int64_t(7), TCell()},
              {std::string("Billing"), std::int64_t(2147483647), std::int64_t(2)},
              {std::string("東京"), std::int64_t(-3), std::int64_t(0)}};
    return T;
}

std::vector<std::string> Names(const TStatTable& T) {
    std::vector<std::string> Out;
    for (const auto& R : T.Rows)
        Out.push_back(std::get<std::string>(R[0]));
    return Out;
}

} // namespace

TEST(StatTableTest, ColumnsAlignByWhatATerminalShows) {
    EXPECT_EQ(DisplayWidth("abc"), 3u);
    EXPECT_EQ(DisplayWidth("α%"), 2u);
    EXPECT_EQ(DisplayWidth("東京"), 4u);
    EXPECT_EQ(DisplayWidth("e\xcc\x81"), 1u); // e with a combining acute accent

    const std::string Text = RenderTable(Sample());
    EXPECT_EQ(Text, "Name             Requests  Queued\n"
                    "orders                120       2\n"
                    "Äpfel, \"grün\"           7\n"
                    "Billing        2147483647       2\n"
                    "東京                   -3       0\n");

    // A broker's name cannot move the cursor or clear the screen.
    TStatTable Evil;
    Evil.Columns = {{"Name", "name", false}};
    Evil.Rows = {{std::string("x\x1b[2J\ry")}};
    EXPECT_EQ(RenderTable(Evil), "Name\nx?[2J?y\n");
}

TEST(StatTableTest, CsvQuotesAsRfc4180) {
    EXPECT_EQ(RenderCsv(Sample(), true), "name,requests,queued\r\n"
                                         "orders,120,2\r\n"
                                         "\"Äpfel, \"\"grün\"\"\",7,\r\n"
                                         "Billing,2147483647,2\r\n"
                                         "東京,-3,0\r\n");
    TColumn Time{"Time", "time", false};
    EXPECT_EQ(RenderCsv(Sample(), false, &Time, "T1").substr(0, 16), "T1,orders,120,2\r");
}

TEST(StatTableTest, JsonTextKeepsTypesOrderAndEscapesAsAParserReadsThem) {
    TJsonText Doc;
    Doc.BeginObject().Member("broker", "B \"1\"").Key("rows").Rows(Sample());
    Doc.Member("rate", TCell(1.23456)).Member("whole", TCell(2.0)).Member("on", true).EndObject();
    EXPECT_TRUE(
        Doc.Text().starts_with("{\"broker\":\"B \\\"1\\\"\",\"rows\":[{\"name\":\"orders\",\"requests\":120,"
                               "\"queued\":2},{\"name\":\"Äpfel, \\\"grün\\\"\""))
        << Doc.Text();
    const auto Parsed = nlohmann::ordered_json::parse(Doc.Text());
    const auto& Rows = Parsed["rows"];
    ASSERT_EQ(Rows.size(), 4u);
    EXPECT_EQ(Rows[1]["name"], "Äpfel, \"grün\"");
    EXPECT_TRUE(Rows[1]["queued"].is_null());
    EXPECT_EQ(Rows[2]["requests"], 2147483647);
    EXPECT_EQ(Rows[3]["name"], "東京");
    EXPECT_EQ(Rows[3]["requests"], -3);
    EXPECT_EQ(Rows[0].begin().key(), "name"); // members in column order
    EXPECT_EQ(Parsed["rate"], 1.235);         // rates to thousandths
    EXPECT_TRUE(Parsed["whole"].is_number_float());
    EXPECT_EQ(Parsed["on"], true);

    // Control characters escaped, invalid UTF-8 replaced, an empty list.
    TJsonText Odd;
    TStatTable None;
    None.Columns = {{"Name", "name", false}};
    Odd.BeginArray().Value(std::string("a\xff")).Value(std::string("t\tn\n\x01")).Rows(None).EndArray();
    EXPECT_EQ(Odd.Text(), "[\"a\xef\xbf\xbd\",\"t\\tn\\n\\u0001\",[]]");
}

TEST(StatTableTest, JsonRowsAreWhatMembersWrittenOneByOneAre) {
    // Rows written in place (integers at both ends of their range, nulls,
    // plain texts, empty ones) and rows cell by cell (escapes, UTF-8,
    // rates) in one table: the same text as every member written alone.
    TStatTable T;
    T.Columns = {{"Name", "name", false}, {"A", "a"}, {"B", "b"}};
    const std::int64_t Min = std::numeric_limits<std::int64_t>::min();
    const std::int64_t Max = std::numeric_limits<std::int64_t>::max();
    T.Rows = {{std::string("orders"), Min, Max},
              {std::string(""), TCell(), std::int64_t(0)},
              {std::string("tab\there"), std::int64_t(1), TCell()},
              {std::string("Größe"), TCell(0.5), std::int64_t(-1)},
              {std::string(300, 'x'), Min, Min},
              {TCell(), std::string("a\"b"), std::string("\x7f")}};
    TJsonText Rows;
    Rows.BeginArray().RowObjects(T).EndArray();
    TJsonText OneByOne;
    OneByOne.BeginArray();
    for (const auto& Row : T.Rows) {
        OneByOne.BeginObject();
        for (std::size_t I = 0; I < Row.size(); ++I)
            OneByOne.Member(T.Columns[I].Key, Row[I]);
        OneByOne.EndObject();
    }
    OneByOne.EndArray();
    EXPECT_EQ(Rows.Text(), OneByOne.Text());
    EXPECT_TRUE(
        Rows.Text().starts_with("[{\"name\":\"orders\",\"a\":-9223372036854775808,\"b\":9223372036854775807},"
                                "{\"name\":\"\",\"a\":null,\"b\":0},"))
        << Rows.Text();
}

TEST(StatTableTest, RecordsGoOutAsTheirTableWouldWithTheSameMatch) {
    // Straight from the records, names in place and escaped, figures at
    // both ends of their range, with and without a match: the text of the
    // table made of them, after the same match.
    struct TRecord {
        std::string Name;
        std::int32_t A = 0;
        std::int32_t B = 0;
    };
    const TListColumns<TRecord> Columns{{{"Name", "name", false}, {"A", "a"}, {"B", "b"}},
                                        {&TRecord::B, &TRecord::A}};
    const std::int32_t Min = std::numeric_limits<std::int32_t>::min();
    const std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    std::vector<TRecord> Made{
        {"orders", Min, Max},          {"", 0, -1},      {"tab\there", 1, 2}, {"GRÖSSE 東京", 3, 4},
        {std::string(300, 'x'), 5, 6}, {"a\"b\\", 7, 8}, {"\x7f", 9, 10},     {"größe\xff", 11, 12}};
    // Counts of every length, at both ends of it, and beyond.
    for (std::int64_t Power = 10; Power <= 10000000000; Power *= 10)
        for (const std::int64_t V : {Power - 1, Power, Power + 1})
            if (V <= Max)
                Made.push_back(
                    {"n" + std::to_string(V), static_cast<std::int32_t>(V), -static_cast<std::int32_t>(V)});
    const std::vector<TRecord> Records = Made;
    // An array of the records as a list goes out: what the document holds,
    // then the rows of each run of records (here: cut at At) as made.
    auto Written = [&](std::span<const TRecord> Rows, const std::string& Match, std::size_t At) {
        TJsonText Doc;
        Doc.BeginArray();
        std::string Text = Doc.Text();
        Doc.Restart();
        Text += Doc.RecordText(Columns.Columns, Columns.Figures, Rows.first(At), TNameMatch(Match));
        Text += Doc.RecordText(Columns.Columns, Columns.Figures, Rows.subspan(At), TNameMatch(Match));
        return Text + Doc.EndArray().Text();
    };
    for (const std::string Match : {"", "Größe", "X", "none"}) {
        TStatTable T = TableOf(Columns, std::span(Records));
        KeepMatching(T, Match);
        TJsonText ThroughTable;
        ThroughTable.BeginArray().RowObjects(T);
        for (const std::size_t At : {std::size_t{0}, std::size_t{1}, Records.size() / 2, Records.size()})
            EXPECT_EQ(Written(Records, Match, At), ThroughTable.Text() + "]") << Match << " " << At;
    }
    // Names of every length, copied in place: the table's text too.
    std::vector<TRecord> Lengths;
    for (std::size_t N = 0; N <= 40; ++N)
        Lengths.push_back({std::string(N, static_cast<char>('a' + N % 26)), 1, 2});
    TJsonText Table;
    Table.BeginArray().RowObjects(TableOf(Columns, std::span(std::as_const(Lengths))));
    EXPECT_EQ(Written(Lengths, "", Lengths.size() / 2), Table.Text() + "]");
    // Every byte value, and a character of two bytes, at every place of
    // names shorter than a word, of one, of two and longer: what is read
    // back is the name, a byte that is not UTF-8 replaced.
    std::vector<std::string> Specials{"\xc3\xa9"};
    for (int Byte = 0; Byte < 256; ++Byte)
        Specials.push_back(std::string(1, static_cast<char>(Byte)));
    for (const std::string& Special : Specials)
        for (const std::size_t Length : {0, 6, 7, 8, 15, 16, 17, 24})
            for (std::size_t At = 0; At <= Length; ++At) {
                std::string Name = std::string("abcdefghijklmnopqrstuvwxyz").substr(0, Length),
                            Expected = Name;
                Name.insert(At, Special);
                Expected.insert(At, Special.size() == 1 && static_cast<unsigned char>(Special[0]) >= 0x80
                                        ? "\xef\xbf\xbd"
                                        : Special);
                const std::vector<TRecord> Single{{Name, 1, 2}};
                const std::string Text = Written(Single, "", 1);
                const auto Read = nlohmann::json::parse(Text, nullptr, false);
                ASSERT_FALSE(Read.is_discarded()) << Text;
                EXPECT_EQ(Read[0]["name"], Expected) << Text;
            }
    EXPECT_EQ(Written(std::span(Records).first(1), "", 0),
              "[{\"name\":\"orders\",\"a\":2147483647,\"b\":-2147483648}]");
    // After a value the array already holds, the first row has its comma.
    TJsonText After;
    After.BeginArray().Value(true);
    std::string Text = After.Text();
    After.Restart();
    Text += After.RecordText(Columns.Columns, Columns.Figures, std::span(Records).first(1), TNameMatch(""));
    EXPECT_EQ(Text + After.EndArray().Text(),
              "[true,{\"name\":\"orders\",\"a\":2147483647,\"b\":-2147483648}]");
}

TEST(StatTableTest, FiguresAreTheDigitsToCharsWrites) {
    // Every number of digits at both ends and beside them, of either sign,
    // the ends of the range, every value up to 100,000 and its negative,
    // and values spread over all of the range: the same digits as
    // std::to_chars, and nothing written past them.
    std::vector<std::int32_t> Values{
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min() + 1,
        std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max() - 1};
    for (std::int64_t Power = 1; Power <= 1000000000; Power *= 10)
        for (const std::int64_t V : {Power - 1, Power, Power + 1})
            Values.insert(Values.end(), {static_cast<std::int32_t>(V), static_cast<std::int32_t>(-V)});
    for (std::int32_t V = -100000; V <= 100000; ++V)
        Values.push_back(V);
    std::mt19937 Random(20240611);
    for (int I = 0; I < 200000; ++I)
        Values.push_back(static_cast<std::int32_t>(Random()));
    for (const std::int32_t V : Values) {
        char Expected[16], Got[16];
        const char* const ExpectedEnd = std::to_chars(Expected, Expected + sizeof Expected, V).ptr;
        std::fill(std::begin(Got), std::end(Got), '#');
        const char* const GotEnd = TJsonText::Decimal(Got, V);
        ASSERT_EQ(std::string_view(Got, GotEnd), std::string_view(Expected, ExpectedEnd)) << V;
        ASSERT_TRUE(std::all_of(GotEnd, std::cend(Got), [](char C) { return C == '#'; })) << V;
    }
}

TEST(StatTableTest, SortAndMatchIgnoreCaseAndKeepTheBrokersOrderForTies) {
    TStatTable T = Sample();
    EXPECT_EQ(FindColumn(T, "QUEUED"), 2);
    EXPECT_EQ(FindColumn(T, "requests"), 1);
    EXPECT_EQ(FindColumn(T, "nope"), -1);

    SortRows(T, 0, false);
    EXPECT_EQ(Names(T), (std::vector<std::string>{"Billing", "orders", "Äpfel, \"grün\"", "東京"}));
    T = Sample();
    SortRows(T, 2, false); // ties stay in order, the empty cell last
    EXPECT_EQ(Names(T), (std::vector<std::string>{"東京", "orders", "Billing", "Äpfel, \"grün\""}));
    SortRows(T, 2, true);
    EXPECT_EQ(Names(T), (std::vector<std::string>{"orders", "Billing", "東京", "Äpfel, \"grün\""}));

    T = Sample();
    KeepMatching(T, "äPFEL");
    EXPECT_EQ(Names(T), (std::vector<std::string>{"Äpfel, \"grün\""}));
    T = Sample();
    KeepMatching(T, "R");
    EXPECT_EQ(Names(T), (std::vector<std::string>{"orders", "Äpfel, \"grün\""}));
}

TEST(StatTableTest, RatesComeFromTheDifferenceAndAreNeverNegative) {
    using namespace std::chrono;
    auto Table = [](std::vector<std::pair<std::string, std::int64_t>> Rows) {
        TStatTable T;
        T.Columns = {{"Name", "name", false}, {"Requests", "requests"}};
        for (auto& [N, R] : Rows)
            T.Rows.push_back({N, R});
        return T;
    };
    auto Rate = [](const TStatTable& T, std::size_t Row) { return T.Rows[Row].back(); };
    TRateTracker Rates;
    const auto T0 = steady_clock::now();

    TStatTable First = Table({{"A", 100}, {"B", 50}, {"A", 10}});
    Rates.AddRates(First, 1, T0);
    EXPECT_EQ(First.Columns.back().Key, "requestsPerSecond");
    for (std::size_t I = 0; I < 3; ++I)
        EXPECT_TRUE(std::holds_alternative<std::monostate>(Rate(First, I))) << "no rate on the first sample";

    // Two seconds later: A rose by 30, B was cleared, the second A rose by 4, C is new.
    TStatTable Second = Table({{"A", 130}, {"B", 0}, {"A", 14}, {"C", 5}});
    Rates.AddRates(Second, 1, T0 + seconds(2));
    EXPECT_DOUBLE_EQ(std::get<double>(Rate(Second, 0)), 15.0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Rate(Second, 1)));
    EXPECT_DOUBLE_EQ(std::get<double>(Rate(Second, 2)), 2.0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Rate(Second, 3)));

    // After the clear B counts from its new start.
    TStatTable Third = Table({{"B", 8}});
    Rates.AddRates(Third, 1, T0 + seconds(4));
    EXPECT_DOUBLE_EQ(std::get<double>(Rate(Third, 0)), 4.0);
    EXPECT_EQ(RenderTable(Third), "Name  Requests  Requests/s\nB            8         4.0\n");
}

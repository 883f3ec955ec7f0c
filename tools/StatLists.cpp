// components, services (once or sampled with --watch), params and details.

#include "tools/StatBroker.h"
#include "tools/StatCommands.h"
#include "tools/StatJson.h"
#include "tools/StatOutput.h"
#include "tools/StatRates.h"
#include "tools/platform/Platform.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <span>

namespace wdx::tools {

using monitor::ENPXException;
using monitor::TNPXMonitor;

namespace {

// One query's records, made into table rows a part at a time: [From, To);
// or made into JSON objects straight from the records, those whose name
// matches, each run of them handed to Out after what Doc holds (false from
// Out: nothing more is made).
struct TListRows {
    using TOut = std::function<bool(std::string_view Text)>;
    std::size_t Count = 0;
    std::function<TStatTable(std::size_t From, std::size_t To)> Table;
    std::function<bool(TJsonText& Doc, std::size_t From, std::size_t To, const TNameMatch& Keep,
                       const TOut& Out)>
        Json;
};

// What differs between the component and the service list.
struct TListKind {
    std::string Member;                           // "components" / "services"
    std::function<TListRows(TNPXMonitor&)> Fetch; // one query; raises ENPXException
    std::function<TStatTable()> Empty;            // the columns, for checking --sort
};

// Rows made into table rows and written at a time, where the output lets a
// list go out in parts: a list of 100,000 rows is then held once, as the
// monitor's records, and not again as table and as text.
constexpr std::size_t SliceRows = 4096;

// A query's records in parts, each part twice the size of the one before
// (from 256 KiB up to 8 MiB): a long list grows without being copied to
// ever larger places on the way, and its parts of 2 MiB and more are large
// enough for large pages.
template <class Record> struct TParts {
    // Rounded up, so that the parts that double it reach 2 MiB, 4 MiB, ...
    static constexpr std::size_t FirstRows = ((std::size_t{256} << 10) + sizeof(Record) - 1) / sizeof(Record);
    static constexpr std::size_t MostRows = (std::size_t{8} << 20) / sizeof(Record);
    std::vector<std::vector<Record>> Parts;
    std::vector<std::size_t> Starts; // the first row of each part
    std::size_t Count = 0;

    void Add(Record&& R) {
        if (Parts.empty() || Parts.back().size() == Parts.back().capacity()) {
            const std::size_t Rows =
                Parts.empty() ? FirstRows : std::min(2 * Parts.back().capacity(), MostRows);
            Parts.emplace_back().reserve(Rows);
            Starts.push_back(Count);
        }
        Parts.back().push_back(std::move(R));
        ++Count;
    }
    // Each run of records of [From, To) that lies in one part.
    template <class F> void Each(std::size_t From, std::size_t To, F&& Run) const {
        if (From >= To)
            return;
        // The part holding From: the last one starting at or before it.
        auto P =
            static_cast<std::size_t>(std::upper_bound(Starts.begin(), Starts.end(), From) - Starts.begin()) -
            1;
        for (; From < To; ++P) {
            const std::vector<Record>& Part = Parts[P];
            const std::size_t At = From - Starts[P], N = std::min(To - From, Part.size() - At);
            Run(std::span(Part).subspan(At, N));
            From += N;
        }
    }
};

// The records, kept alive by the rows' makers.
template <class Record> TListRows RowsOf(TParts<Record> Records, const TListColumns<Record>& Columns) {
    auto Held = std::make_shared<const TParts<Record>>(std::move(Records));
    return {Held->Count,
            [Held, &Columns](std::size_t From, std::size_t To) {
                TStatTable Table;
                Table.Columns = Columns.Columns;
                Held->Each(From, To, [&](std::span<const Record> Run) {
                    TStatTable Part = TableOf(Columns, Run);
                    std::move(Part.Rows.begin(), Part.Rows.end(), std::back_inserter(Table.Rows));
                });
                return Table;
            },
            [Held, &Columns](TJsonText& Doc, std::size_t From, std::size_t To, const TNameMatch& Keep,
                             const TListRows::TOut& Out) {
                bool Written = true;
                Held->Each(From, To, [&](std::span<const Record> Run) {
                    if (Written)
                        Written = Out(Doc.RecordText(Columns.Columns, Columns.Figures, Run, Keep));
                });
                return Written;
            }};
}

template <class Record> TListRows RowsOf(std::vector<Record> List, const TListColumns<Record>& Columns) {
    TParts<Record> Records;
    for (Record& R : List)
        Records.Add(std::move(R));
    return RowsOf(std::move(Records), Columns);
}

// Ends the connection; a failure to do so is reported, after the output.
int Disconnect(std::unique_ptr<TNPXMonitor>& Connection, int Status) {
    try {
        TNPXMonitor::Destroy(Connection);
    } catch (const std::exception& E) {
        Fail(std::string("the connection did not end cleanly: ") + E.what());
        return Status == ExitDone ? ExitFailed : Status;
    }
    return Status;
}

std::int64_t Sum(const TStatTable& Table, const std::string& Key) {
    const int C = FindColumn(Table, Key);
    std::int64_t Total = 0;
    if (C >= 0)
        for (const auto& Row : Table.Rows)
            if (const auto* N = std::get_if<std::int64_t>(&Row[static_cast<std::size_t>(C)]))
                Total += *N;
    return Total;
}

// The line above a redrawn table: broker, time and the totals.
std::string HeaderLine(const TListOptions& O, const TListKind& Kind, const TStatTable& T,
                       std::chrono::system_clock::time_point At) {
    std::string Line = O.Broker + (O.Component.empty() ? "" : " / " + O.Component) + "  " + LocalTime(At) +
                       "  " + std::to_string(T.Rows.size()) + " " + Kind.Member;
    if (FindColumn(T, "active") >= 0)
        Line += "  active " + std::to_string(Sum(T, "active"));
    Line +=
        "  queued " + std::to_string(Sum(T, "queued")) + "  requests " + std::to_string(Sum(T, "requests"));
    double Rate = 0;
    bool AnyRate = false;
    for (const auto& Row : T.Rows)
        if (const auto* R = std::get_if<double>(&Row.back())) {
            Rate += *R;
            AnyRate = true;
        }
    if (AnyRate)
        Line += "  " + CellText(TCell(Rate)) + " requests/s";
    return Line + "\n\n";
}

// The document up to its list's array, which is open.
TJsonText DocumentHead(const TListOptions& O, const TListKind& Kind, const std::string* Time) {
    TJsonText Doc;
    Doc.BeginObject().Member("broker", O.Broker);
    if (!O.Component.empty())
        Doc.Member("component", O.Component);
    if (Time)
        Doc.Member("time", *Time);
    Doc.Key(Kind.Member).BeginArray();
    return Doc;
}

std::string Document(const TListOptions& O, const TListKind& Kind, const TStatTable& T,
                     const std::string* Time) {
    TJsonText Doc = DocumentHead(O, Kind, Time);
    Doc.RowObjects(T).EndArray().EndObject();
    return Doc.Text();
}

// One sample as JSON or CSV in the broker's order, a slice of rows at a time:
// the same text as the whole table would give.
void PrintInSlices(const TListOptions& O, const TListKind& Kind, const TListRows& Rows) {
    TJsonText Doc;
    const bool Json = O.Format == TFormat::Json;
    if (Json)
        Doc = DocumentHead(O, Kind, nullptr);
    const TNameMatch Keep(O.Match);
    std::size_t From = 0;
    do { // once at least: an empty list still has its CSV heading
        const std::size_t To = std::min(Rows.Count, From + SliceRows);
        bool Written = false;
        if (Json) {
            // What the document holds so far, then the rows as they are made.
            Written = Rows.Json(Doc, From, To, Keep, [&Doc](std::string_view Text) {
                const bool Done = Print(Doc.Text()) && Print(Text);
                Doc.Restart();
                return Done;
            });
        } else {
            TStatTable Slice = Rows.Table(From, To);
            KeepMatching(Slice, O.Match);
            Written = Print(RenderCsv(Slice, From == 0));
        }
        // After a failed write the rest is not made either.
        if (!Written)
            return;
        From = To;
    } while (From < Rows.Count);
    if (Json)
        Print(Doc.EndArray().EndObject().Text() + "\n");
}

int RunList(const TListOptions& O, const TListKind& Kind) {
    const bool Watching = O.WatchSeconds > 0;
    int SortColumn = -1;
    if (!O.Sort.empty()) {
        TStatTable Columns = Kind.Empty();
        if (Watching)
            Columns.Columns.push_back(RateColumn);
        SortColumn = FindColumn(Columns, O.Sort);
        if (SortColumn < 0) {
            std::string Names;
            for (const auto& C : Columns.Columns)
                Names += (Names.empty() ? "" : ", ") + C.Key;
            return Usage("no column " + O.Sort + " to sort by; the columns are " + Names +
                         (Watching ? "" : " (and requestsPerSecond with --watch)"));
        }
    }

    std::unique_ptr<TNPXMonitor> Connection;
    try {
        Connection = ConnectBroker(O.Broker);
    } catch (const EStatFailure& E) {
        return Fail(E.what());
    }
    if (Watching)
        CatchStopSignals();
    // On a terminal a sampled table is redrawn in place; anywhere else every
    // sample is one line of JSON (or CSV rows), so that nothing is lost.
    const bool Redraw = Watching && O.Format == TFormat::Table && OutputIsTerminal();
    const bool JsonLines = Watching && (O.Format == TFormat::Json || (O.Format == TFormat::Table && !Redraw));
    TRateTracker Rates;
    // Printed once as the broker gives it: a slice at a time, from the
    // records alone. As JSON, the records take the pages of the answer's
    // body, and a slice's rows go out from one room kept for the next (CSV
    // makes new texts for every slice, which those pages would not fit).
    const bool Once = !Watching && SortColumn < 0 && O.Format != TFormat::Table;
    const bool KeepBodyPages = Once && O.Format == TFormat::Json;
    const auto Start = std::chrono::steady_clock::now();
    for (int Sample = 0;; ++Sample) {
        const auto At = std::chrono::system_clock::now();
        TListRows Rows;
        try {
            platform::KeepNextFreedLargeBlock(KeepBodyPages);
            Rows = Kind.Fetch(*Connection);
        } catch (const ENPXException& E) {
            Fail(FailureLine(E));
            return Disconnect(Connection, ExitFailed);
        }
        // Sorting, rates and aligned columns need every row at once.
        if (Once) {
            PrintInSlices(O, Kind, Rows);
            break;
        }
        TStatTable Table = Rows.Table(0, Rows.Count);
        Rows = {}; // the records, now that the table holds them
        if (Watching) {
            // The figures count from when the broker answered.
            Rates.AddRates(Table, static_cast<std::size_t>(FindColumn(Table, "requests")),
                           std::chrono::steady_clock::now());
        }
        KeepMatching(Table, O.Match);
        SortRows(Table, SortColumn, O.Reverse);

        const std::string Time = IsoTime(At);
        if (Redraw)
            Print("\x1b[H\x1b[2J" + HeaderLine(O, Kind, Table, At) + RenderTable(Table));
        else if (JsonLines || O.Format == TFormat::Json)
            Print(Document(O, Kind, Table, Watching ? &Time : nullptr) + "\n");
        else if (O.Format == TFormat::Csv && Watching) {
            static const TColumn TimeColumn{"Time", "time", false};
            Print(RenderCsv(Table, Sample == 0, &TimeColumn, Time));
        } else if (O.Format == TFormat::Csv)
            Print(RenderCsv(Table, true));
        else
            Print(RenderTable(Table));

        if (!Watching || (O.Count > 0 && Sample + 1 >= O.Count) || OutputFailed())
            break;
        // A fixed schedule: a slow answer does not push every later sample back.
        if (!SleepUntil(Start + std::chrono::seconds(O.WatchSeconds) * (Sample + 1)))
            break;
    }
    return Disconnect(Connection, ExitDone);
}

} // namespace

int RunComponents(const TListOptions& Options) {
    return RunList(Options,
                   {"components",
                    [](TNPXMonitor& M) {
                        TParts<monitor::TServer> Servers;
                        M.ForEachServer([&Servers](monitor::TServer&& R) { Servers.Add(std::move(R)); });
                        return RowsOf(std::move(Servers), ComponentColumns());
                    },
                    [] { return ComponentTable({}); }});
}

int RunServices(const TListOptions& Options) {
    const std::string Component = Options.Component;
    return RunList(
        Options, {"services",
                  [Component](TNPXMonitor& M) { return RowsOf(M.GetServices(Component), ServiceColumns()); },
                  [] { return ServiceTable({}); }});
}

int RunParams(const std::string& Broker, const std::string& Service, TFormat Format) {
    std::unique_ptr<TNPXMonitor> Connection;
    try {
        Connection = ConnectBroker(Broker);
    } catch (const EStatFailure& E) {
        return Fail(E.what());
    }
    TStatTable Table;
    try {
        Table = ParamsTable(Connection->GetParams(Service), Format != TFormat::Table);
    } catch (const ENPXException& E) {
        Fail(FailureLine(E));
        return Disconnect(Connection, ExitFailed);
    }
    if (Format == TFormat::Json) {
        TJsonText Doc;
        Doc.BeginObject().Member("broker", Broker).Member("service", Service);
        Doc.Key("parameters").Rows(Table).EndObject();
        Print(Doc.Text() + "\n");
    } else {
        Print(Format == TFormat::Csv ? RenderCsv(Table, true) : RenderTable(Table));
    }
    return Disconnect(Connection, ExitDone);
}

int RunDetails(const std::string& Broker, const std::string& Component, TFormat Format) {
    std::unique_ptr<TNPXMonitor> Connection;
    try {
        Connection = ConnectBroker(Broker);
    } catch (const EStatFailure& E) {
        return Fail(E.what());
    }
    std::vector<TDetailField> Fields;
    try {
        Fields = DetailFields(Component, Connection->GetServerMore(Component));
    } catch (const ENPXException& E) {
        Fail(FailureLine(E));
        return Disconnect(Connection, ExitFailed);
    }
    if (Format == TFormat::Json) {
        TJsonText Doc;
        Doc.BeginObject().Member("broker", Broker);
        for (const auto& F : Fields)
            Doc.Member(F.Key, F.Value);
        Print(Doc.EndObject().Text() + "\n");
    } else {
        // Labels and values as the details dialog shows them, values aligned.
        TStatTable Lines;
        Lines.Columns = {{"", "label", false}, {"", "value", false}};
        for (const auto& F : Fields)
            Lines.Rows.push_back({F.Label, TCell(CellText(F.Value))});
        std::string Text = RenderTable(Lines);
        Print(Text.substr(Text.find('\n') + 1)); // without the empty heading line
    }
    return Disconnect(Connection, ExitDone);
}

} // namespace wdx::tools

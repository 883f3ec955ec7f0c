// brokers, action and check.

#include "tools/StatCommands.h"

#include "brokerstore/BrokerStore.h"
#include "monitorapi/WideText.h"
#include "statshost/BrokerLookup.h"
#include "statshost/StandIns.h"
#include "tools/StatBroker.h"
#include "tools/StatJson.h"
#include "tools/StatOutput.h"

#include <iostream>

namespace wdx::tools {

using monitor::ENPXException;
using monitor::TNPXMonitor;

namespace {

// A port or time-out as the stand-ins read it, or empty when they cannot.
TCell DefinitionNumber(const std::string& Text) {
    if (auto N = statshost::ParseDefinitionInteger(Text))
        return static_cast<std::int64_t>(*N);
    return {};
}

// Asks on the terminal; without one the answer is no.
bool Confirm(const std::string& Question) {
    if (!InputIsTerminal())
        return false;
    std::cout << Question << " (Yes/No)? " << std::flush;
    std::string Answer;
    std::getline(std::cin, Answer);
    return !Answer.empty() && (Answer[0] == 'y' || Answer[0] == 'Y');
}

std::string Quoted(const std::string& Text) {
    return "\"" + Text + "\"";
}

} // namespace

int RunBrokers(TFormat Format) {
    TStatTable T;
    const bool ForPeople = Format == TFormat::Table;
    T.Columns = {
        {"Name", "name", false},     {"Scope", "scope", false},          {"Host name", "hostName", false},
        {"Port", "port", ForPeople}, {"Time-out", "timeOut", ForPeople}, {"Used", "used", false},
        {"TLS", "tls", false},       {"Token", "token", false}};
    int Status = ExitDone;
    const brokerstore::TClientDefinitions All = brokerstore::ListClientDefinitions();
    for (const std::string& Problem : All.Problems)
        if (!Problem.empty())
            Status = Fail(Problem);
    bool Hidden = false;
    for (const brokerstore::TClientDefinition& B : All.Definitions) {
        Hidden = Hidden || !B.Used;
        TCell Port = B.Summary.Port, TimeOut = B.Summary.TimeOut;
        // Whether a token file is named, never what it holds.
        const bool Flags[] = {B.Used, B.Transport.UseTls, !B.Transport.TokenFile.empty()};
        TCell Cells[3];
        for (int I = 0; I < 3; ++I)
            Cells[I] = std::string(ForPeople ? (Flags[I] ? "yes" : "no") : (Flags[I] ? "true" : "false"));
        if (!ForPeople) {
            Port = DefinitionNumber(B.Summary.Port);
            TimeOut = DefinitionNumber(B.Summary.TimeOut);
        }
        T.Rows.push_back({B.Name, std::string(brokerstore::ScopeName(B.Scope)), B.Summary.HostName, Port,
                          TimeOut, Cells[0], Cells[1], Cells[2]});
    }
    if (Format == TFormat::Json) {
        // As the table, but "used", "tls" and "token" are truth values.
        const auto Used = static_cast<std::size_t>(FindColumn(T, "used"));
        TJsonText Rows;
        Rows.BeginArray();
        for (const auto& R : T.Rows) {
            Rows.BeginObject();
            for (std::size_t I = 0; I < R.size(); ++I)
                if (I >= Used)
                    Rows.Member(T.Columns[I].Key, std::get<std::string>(R[I]) == "true");
                else
                    Rows.Member(T.Columns[I].Key, R[I]);
            Rows.EndObject();
        }
        Print(Rows.EndArray().Text() + "\n");
    } else if (Format == TFormat::Csv) {
        Print(RenderCsv(T, true));
    } else if (T.Rows.empty()) {
        if (Status == ExitDone)
            std::cerr << "WDXStat: no Component Broker is defined (User: "
                      << brokerstore::ScopeStorePath(brokerstore::scUser)
                      << ", System: " << brokerstore::ScopeStorePath(brokerstore::scSystem) << ")\n";
    } else {
        Print(RenderTable(T));
        if (Hidden)
            Print("\nClient software looks a name up under User first, then under System (without regard to "
                  "case):\na User definition hides the System definition of the same name.\n");
    }
    return Status;
}

int RunAction(const std::string& Broker, const std::string& Component, const std::string& Word,
              std::int32_t Value, bool Yes) {
    std::unique_ptr<TNPXMonitor> Connection;
    try {
        Connection = ConnectBroker(Broker);
    } catch (const EStatFailure& E) {
        return Fail(E.what());
    }
    const std::string Which = "the component " + Quoted(Component) + " of " + Quoted(Broker);
    const std::string To = " to " + std::to_string(Value);
    const std::string Ask = Word == "retire"  ? "Retire " + Which
                            : Word == "clear" ? "Clear the statistics of " + Which
                                              : "Set the maximum of " + Which + To;
    const std::string Done = Word == "retire"  ? "Retired " + Which
                             : Word == "clear" ? "Cleared the statistics of " + Which
                                               : "Set the maximum of " + Which + To;
    int Status = ExitDone;
    if (!Yes && !Confirm(Ask)) {
        Status = Fail(InputIsTerminal() ? "nothing done"
                                        : "nothing done: no terminal to confirm on (add --yes to act without "
                                          "asking)");
    } else {
        try {
            Connection->PerformAction(Component, Word, Value);
            Print(Done + ".\n");
        } catch (const ENPXException& E) {
            Status = Fail(FailureLine(E));
        }
    }
    try {
        TNPXMonitor::Destroy(Connection);
    } catch (const std::exception& E) {
        return Fail(std::string("the connection did not end cleanly: ") + E.what());
    }
    return Status;
}

int RunCheck(const std::string& Broker, std::optional<long long> QueuedWarning,
             std::optional<long long> QueuedCritical) {
    const auto Start = std::chrono::steady_clock::now();
    auto Elapsed = [&] {
        char Buf[32];
        std::snprintf(Buf, sizeof Buf, "time=%.3fs;;;0",
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
        return std::string(Buf);
    };
    auto Report = [&](int Status, const std::string& Text, const std::string& Perf) {
        static const char* const Names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
        Print(std::string("BROKER ") + Names[Status] + " - " + Text + " | " + Perf + "\n");
        return Status;
    };

    TRelayVerdict Verdict;
    try {
        Verdict = CheckWithRelay(Broker);
    } catch (const EStatFailure& E) {
        return Report(CheckUnknown, E.what(), Elapsed());
    }
    int Status = CheckOk;
    std::string Note;
    switch (Verdict.Status) {
    case statshost::rsHealthy:
        break;
    case statshost::rsWarning:
        Status = CheckWarning;
        Note = RelayWarningLine("", Verdict);
        break;
    case statshost::rsNotDefined:
    case statshost::rsBadDefinition:
        // Nothing is known about the broker: what is wrong is here.
        return Report(CheckUnknown, RelayWarningLine(Broker, Verdict), Elapsed());
    default:
        return Report(CheckCritical, RelayWarningLine(Broker, Verdict), Elapsed());
    }

    monitor::TServerList Servers;
    try {
        auto Connection = std::make_unique<TNPXMonitor>(monitor::Utf8ToWide(Broker));
        Servers = Connection->GetServers();
        TNPXMonitor::Destroy(Connection);
    } catch (const ENPXException& E) {
        // The component list's failure names no broker; the line does.
        return Report(CheckCritical, E.Title.empty() ? Broker + ": " + FailureLine(E) : FailureLine(E),
                      Elapsed());
    } catch (const std::exception& E) {
        return Report(CheckCritical, Broker + ": " + E.what(), Elapsed());
    }

    long long Active = 0, Queued = 0;
    for (const auto& S : Servers) {
        Active += S.Active;
        Queued += S.Queued;
    }
    std::string Threshold;
    if (QueuedCritical && Queued > *QueuedCritical) {
        Status = CheckCritical;
        Threshold = "queued " + std::to_string(Queued) + " > " + std::to_string(*QueuedCritical);
    } else if (QueuedWarning && Queued > *QueuedWarning) {
        Status = std::max(Status, CheckWarning);
        Threshold = "queued " + std::to_string(Queued) + " > " + std::to_string(*QueuedWarning);
    }
    std::string Text = Broker + ": " + std::to_string(Servers.size()) + " components, " +
                       std::to_string(Active) + " active, " + std::to_string(Queued) + " queued";
    if (!Threshold.empty())
        Text += " (" + Threshold + ")";
    if (!Note.empty())
        Text += "; " + Note;
    auto Opt = [](const std::optional<long long>& V) { return V ? std::to_string(*V) : std::string(); };
    const std::string Perf = "components=" + std::to_string(Servers.size()) +
                             ";;;0 active=" + std::to_string(Active) +
                             ";;;0 queued=" + std::to_string(Queued) + ";" + Opt(QueuedWarning) + ";" +
                             Opt(QueuedCritical) + ";0 " + Elapsed();
    return Report(Status, Text, Perf);
}

} // namespace wdx::tools

// WDXStat: a broker's components, services and parameters on the command
// line, for terminals, scripts and monitoring systems. It reaches brokers
// the way WDXMonitor does (the relay's check, then the monitor connection,
// both through the stand-ins) and reports failures in the monitor's words.
// Exit status 0 when done, 1 when the broker or the store failed, 2 on bad
// arguments; check answers 0 to 3 as monitoring plugins do.

#include "WdxVersion.h"
#include "monitor/RefreshInterval.h"
#include "monitorapi/ComFactory.h"
#include "statshost/StandIns.h"
#include "tools/StatCommands.h"
#include "tools/StatOutput.h"
#include "tools/platform/Platform.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstring>
#include <iostream>

using namespace wdx::tools;

namespace {

void AddFormat(CLI::App* Cmd, bool& Json, bool& Csv, bool WithCsv = true) {
    auto* J = Cmd->add_flag("--json", Json, "JSON: members named as in the statistics protocol");
    if (WithCsv)
        Cmd->add_flag("--csv", Csv, "CSV with a header line (RFC 4180)")->excludes(J);
}

TFormat FormatOf(bool Json, bool Csv) {
    return Json ? TFormat::Json : Csv ? TFormat::Csv : TFormat::Table;
}

void AddListOptions(CLI::App* Cmd, TListOptions& O, bool& Json, bool& Csv) {
    auto* Sort = Cmd->add_option("--sort", O.Sort,
                                 "sort by this column (its title or its JSON name: queued, \"Queue t\", "
                                 "requestsPerSecond ...); default: the broker's order")
                     ->type_name("COLUMN");
    Cmd->add_flag("--reverse", O.Reverse, "sort the other way round")->needs(Sort);
    Cmd->add_option("--match", O.Match, "keep the rows whose name contains TEXT, without regard to case")
        ->type_name("TEXT");
    auto* Watch = Cmd->add_option("--watch", O.WatchSeconds,
                                  "sample every SECONDS (" + std::to_string(wdx::monitor::MinRefreshSeconds) +
                                      " to " + std::to_string(wdx::monitor::MaxRefreshSeconds) +
                                      ") until interrupted, with requestsPerSecond")
                      ->check(CLI::Range(wdx::monitor::MinRefreshSeconds, wdx::monitor::MaxRefreshSeconds));
    Cmd->add_option("--count", O.Count, "stop after N samples")
        ->check(CLI::PositiveNumber)
        ->type_name("N")
        ->needs(Watch);
    AddFormat(Cmd, Json, Csv);
}

// A signed 32-bit decimal integer, as the details dialog reads its maximum.
bool ParseInt32(const std::string& Text, std::int32_t& Value) {
    const char* B = Text.data();
    const char* E = B + Text.size();
    if (B != E && *B == '+')
        ++B;
    auto [P, Ec] = std::from_chars(B, E, Value, 10);
    return B != E && Ec == std::errc() && P == E;
}

// The first word that is not an option: the command.
std::string CommandOf(const std::vector<std::string>& Args) {
    for (std::size_t I = 1; I < Args.size(); ++I)
        if (!Args[I].starts_with('-'))
            return Args[I];
    return {};
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    wdx::tools::platform::UseUtf8StandardStreams();
    wdx::tools::platform::ReturnLargeBlocks();
    CLI::App App{"A Component Broker's components, services and parameters, for terminals, scripts and "
                 "monitoring systems.\nBrokers are the definitions in the settings store "
                 "($WDX_USER_STORE, $WDX_SYSTEM_STORE), User first.",
                 "WDXStat"};
    App.set_version_flag("--version", std::string("WDXStat ") + wdx::Version);
    App.require_subcommand(1);
    App.footer(
        "Exit status: 0 done, 1 the broker or the store failed (or an action was not confirmed), 2 bad\n"
        "arguments; check: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n"
        "Run WDXStat COMMAND --help for a command's options.");

    bool Json = false, Csv = false, Yes = false;
    TListOptions List;
    std::string Broker, Name, Word, ValueText;
    std::optional<long long> Warning, Critical;

    auto* Brokers = App.add_subcommand("brokers", "list the broker definitions, User first, and which one "
                                                  "client software uses when a name is defined twice");
    AddFormat(Brokers, Json, Csv);

    auto* Check = App.add_subcommand("check", "check a broker for a monitoring system (Nagios, Icinga): one "
                                              "status line with perfdata; exit 0 OK to 3 UNKNOWN");
    Check->add_option("BROKER", Broker, "the broker's name")->required();
    Check->add_option("--queued-warning", Warning, "WARNING when more than N requests are queued")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");
    Check->add_option("--queued-critical", Critical, "CRITICAL when more than N requests are queued")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");

    auto* Components = App.add_subcommand("components", "the broker's components with their counters");
    Components->add_option("BROKER", List.Broker, "the broker's name")->required();
    AddListOptions(Components, List, Json, Csv);

    auto* Services = App.add_subcommand("services", "the services of one component with their counters");
    Services->add_option("BROKER", List.Broker, "the broker's name")->required();
    Services->add_option("COMPONENT", List.Component, "the component's name")->required();
    AddListOptions(Services, List, Json, Csv);

    auto* Params =
        App.add_subcommand("params", "the parameters of one service: type, precision, scale, mode");
    Params->add_option("BROKER", Broker, "the broker's name")->required();
    Params->add_option("SERVICE", Name, "the service's name")->required();
    AddFormat(Params, Json, Csv);

    auto* Details = App.add_subcommand("details", "one component's details, as the monitor's details dialog");
    Details->add_option("BROKER", Broker, "the broker's name")->required();
    Details->add_option("COMPONENT", Name, "the component's name")->required();
    AddFormat(Details, Json, Csv, false);

    auto* Action =
        App.add_subcommand("action", "retire a component, clear its statistics, or set its maximum "
                                     "number of instances; asks first");
    Action->add_option("BROKER", Broker, "the broker's name")->required();
    Action->add_option("COMPONENT", Name, "the component's name")->required();
    Action->add_option("ACTION", Word, "retire, clear or setmax")
        ->required()
        ->check(CLI::IsMember({"retire", "clear", "setmax"}));
    Action->add_option("VALUE", ValueText, "the new maximum (setmax only)");
    Action->add_flag("-y,--yes", Yes, "do not ask (needed where there is no terminal to ask on)");

    // UTF-8 on every platform: broker and component names beyond ASCII
    // arrive whole.
    std::vector<std::string> Args = wdx::tools::platform::Arguments(argc, argv);
    std::vector<char*> ArgPtrs;
    for (std::string& A : Args)
        ArgPtrs.push_back(A.data());
    const bool Checking = CommandOf(Args) == "check";
    try {
        App.parse(static_cast<int>(ArgPtrs.size()), ArgPtrs.data());
    } catch (const CLI::ParseError& E) {
        const int Code = App.exit(E);
        return Code == 0 ? 0 : Checking ? CheckUnknown : ExitUsage;
    }

    std::int32_t Value = 0;
    if (Action->parsed()) {
        if (Word == "setmax" && !ParseInt32(ValueText, Value))
            return Usage(ValueText.empty()
                             ? "setmax needs the new maximum: action BROKER COMPONENT setmax VALUE"
                             : "the maximum must be a whole number from -2147483648 to "
                               "2147483647, not \"" +
                                   ValueText + "\"");
        if (Word != "setmax" && !ValueText.empty())
            return Usage(Word + " takes no value (only setmax does)");
    }
    if (Check->parsed() && Warning && Critical && *Warning > *Critical) {
        std::cerr << "WDXStat: --queued-warning must not be above --queued-critical\n";
        return CheckUnknown;
    }

    // COM for this one thread, as WDXMonitor has it; it outlives every
    // reference the commands take.
    const wdx::monitor::TComApartment Com;
#ifdef _WIN32
    // The relay and the monitor server are activated through COM by their
    // registration: the outside components where installed, else the
    // stand-ins' server (WDXStatsHost.dll, registered with regsvr32).
#else
    // The relay and the monitor server, as WDXMonitor creates them.
    wdx::statshost::RegisterStandIns();
#endif
    auto Run = [&] {
        if (Brokers->parsed())
            return RunBrokers(FormatOf(Json, Csv));
        if (Check->parsed())
            return RunCheck(Broker, Warning, Critical);
        List.Format = FormatOf(Json, Csv);
        if (Components->parsed())
            return RunComponents(List);
        if (Services->parsed())
            return RunServices(List);
        if (Params->parsed())
            return RunParams(Broker, Name, FormatOf(Json, Csv));
        if (Details->parsed())
            return RunDetails(Broker, Name, FormatOf(Json, Csv));
        return RunAction(Broker, Name, Word, Value, Yes);
    };
    try {
        const int Status = Run();
        // Output that did not arrive is a failure whatever the command found.
        if (OutputFailed())
            return Checking ? CheckUnknown : ExitFailed;
        return Status;
    } catch (const std::exception& E) {
        // A failure the monitor would put into its default error report.
        if (Checking) {
            std::cout << "BROKER UNKNOWN - " << E.what() << "\n";
            return CheckUnknown;
        }
        return Fail(E.what());
    }
}

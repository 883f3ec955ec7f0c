#pragma once
// How WDXStat reaches a broker: the way the monitor's connect step does (the
// relay's check, then the monitor connection), with the monitor's texts for
// every failure, and the records turned into WDXStat's tables.

#include "monitor/NPXMonitor.h"
#include "tools/StatTable.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace wdx::tools {

// A failure the user sees as one line: the monitor's text for it (its
// string-table text, a blank and the detail), prefixed by what it concerns.
class EStatFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The line for one of the connection's errors: "Title: text detail", or the
// text alone when it concerns no name (the component list).
std::string FailureLine(const monitor::ENPXException& E);

// The relay's verdict on a broker, as the connect step gets it: the status
// (-1 when the check itself failed) and the relay's text for it.
struct TRelayVerdict {
    std::int16_t Status = -1;
    bool Warns = true; // what the window warns of without -debug
    std::string Text;
};

// Checks Broker through the relay. Throws EStatFailure when the relay cannot
// be created.
TRelayVerdict CheckWithRelay(const std::string& Broker);

// The monitor's warning for a relay status, without the window's button
// instructions: "Broker: Invalid return from Omni Relay: 4 - text" (without
// the name when Broker is empty).
std::string RelayWarningLine(const std::string& Broker, const TRelayVerdict& Verdict);

// The relay check and the connection. A status the window warns of ends here,
// as does a refused connection: EStatFailure.
std::unique_ptr<monitor::TNPXMonitor> ConnectBroker(const std::string& Broker);

// The columns of a list whose records are a name and integer figures (the
// component and the service list), with the monitor's column titles: the
// name first, then one column per figure.
template <class Record> struct TListColumns {
    std::vector<TColumn> Columns;
    std::vector<std::int32_t Record::*> Figures; // Columns[1], Columns[2], ...
};
const TListColumns<monitor::TServer>& ComponentColumns();
const TListColumns<monitor::TService>& ServiceColumns();

// The records as tables (a part of a list at a time, if need be).
template <class Record>
TStatTable TableOf(const TListColumns<Record>& List, std::span<const Record> Records) {
    TStatTable T;
    T.Columns = List.Columns;
    T.Rows.reserve(Records.size());
    for (const Record& R : Records) {
        std::vector<TCell>& Row = T.Rows.emplace_back();
        Row.reserve(1 + List.Figures.size());
        Row.emplace_back(R.Name);
        for (const auto Figure : List.Figures)
            Row.emplace_back(static_cast<std::int64_t>(R.*Figure));
    }
    return T;
}
inline TStatTable ComponentTable(std::span<const monitor::TServer> Servers) {
    return TableOf(ComponentColumns(), Servers);
}
inline TStatTable ServiceTable(std::span<const monitor::TService> Services) {
    return TableOf(ServiceColumns(), Services);
}
// Parameters: the window's words and the codes beside them.
TStatTable ParamsTable(const monitor::TParamsList& Params, bool WithCodes);

// The details dialog's labels and the record's members, in its order.
struct TDetailField {
    std::string Label; // "Number active:"
    std::string Key;   // "active"
    TCell Value;
};
std::vector<TDetailField> DetailFields(const std::string& Component, const monitor::TServerMore& More);

// The text of a message id of the monitor's string table, as UTF-8.
std::string MonitorText(int Id);

} // namespace wdx::tools

#include "tools/StatBroker.h"

#include "common/ResText.h"
#include "monitor/MonitorStrings.h"
#include "monitor/ParamWords.h"
#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"

namespace wdx::tools {

using monitor::ENPXException;
using monitor::WideToUtf8;

namespace {
constexpr int IdCannotAccessRelay = 2007;
constexpr int IdInvalidRelayReturn = 2009;
constexpr std::int16_t RelayHealthy = 0;
// A broker that answers with a notice only: the window goes on silently.
constexpr std::int16_t RelayNotice = 2;

// One line of output: line breaks of a broker's text become blanks.
std::string OneLine(std::string Text) {
    for (char& C : Text)
        if (C == '\n' || C == '\r')
            C = ' ';
    return Text;
}

TCell Code(std::int32_t Value) {
    return static_cast<std::int64_t>(Value);
}
} // namespace

std::string MonitorText(int Id) {
    return WideToUtf8(common::LoadResText(monitor::MonitorStrings(), Id));
}

std::string FailureLine(const ENPXException& E) {
    const std::string Text = MonitorText(E.MessageId) + " " + WideToUtf8(E.Detail);
    return OneLine(E.Title.empty() ? Text : E.Title + ": " + Text);
}

TRelayVerdict CheckWithRelay(const std::string& Broker) {
    monitor::TComPtr<monitor::IOmniRelay> Relay;
    try {
        Relay = monitor::CoOmniRelay::Create();
    } catch (const std::exception& E) {
        throw EStatFailure(OneLine(Broker + ": " + MonitorText(IdCannotAccessRelay) + " " + E.what()), false);
    }
    TRelayVerdict Verdict;
    try {
        std::int16_t Code = -1;
        if (Relay->CheckBroker(monitor::Utf8ToWide(Broker), 0, 0, 0, Code).Succeeded())
            Verdict.Status = Code;
    } catch (const std::exception&) {
        // A failed check counts as status -1.
    }
    if (Verdict.Status != RelayHealthy)
        Verdict.Text = WideToUtf8(monitor::ComGet(*Relay, &monitor::IOmniRelay::ErrorText));
    return Verdict;
}

std::string RelayWarningLine(const std::string& Broker, const TRelayVerdict& Verdict) {
    std::string Template = MonitorText(IdInvalidRelayReturn);
    // The second line tells the window's operator which button to press.
    Template = Template.substr(0, Template.find('\n'));
    std::string Out;
    for (std::size_t I = 0; I < Template.size(); ++I) {
        if (Template[I] == '%' && I + 1 < Template.size() &&
            (Template[I + 1] == 'd' || Template[I + 1] == 's' || Template[I + 1] == '%')) {
            const char Kind = Template[++I];
            Out += Kind == 'd' ? std::to_string(Verdict.Status) : Kind == 's' ? Verdict.Text : "%";
            continue;
        }
        Out += Template[I];
    }
    return OneLine(Broker + ": " + Out);
}

std::unique_ptr<monitor::TNPXMonitor> ConnectBroker(const std::string& Broker) {
    const TRelayVerdict Verdict = CheckWithRelay(Broker);
    if (Verdict.Status != RelayHealthy && Verdict.Status != RelayNotice)
        throw EStatFailure(RelayWarningLine(Broker, Verdict), false, Verdict.Status);
    try {
        return std::make_unique<monitor::TNPXMonitor>(monitor::Utf8ToWide(Broker));
    } catch (const ENPXException& E) {
        throw EStatFailure(FailureLine(E), false);
    }
}

TStatTable ComponentTable(const monitor::TServerList& Servers) {
    TStatTable T;
    T.Columns = {{MonitorText(1035), "name", false}, {MonitorText(1036), "active"},
                 {MonitorText(1037), "maximum"},     {MonitorText(1038), "requests"},
                 {MonitorText(1039), "queued"},      {MonitorText(1040), "queueTime"},
                 {MonitorText(1041), "serviceTime"}};
    T.Rows.reserve(Servers.size());
    for (const auto& S : Servers)
        T.Rows.push_back({S.Name, Code(S.Active), Code(S.Maximum), Code(S.Requests), Code(S.Queued),
                          Code(S.QueueTime), Code(S.ServiceTime)});
    return T;
}

TStatTable ServiceTable(const monitor::TServiceList& Services) {
    TStatTable T;
    T.Columns = {{MonitorText(1035), "name", false},
                 {MonitorText(1038), "requests"},
                 {MonitorText(1039), "queued"},
                 {MonitorText(1040), "queueTime"},
                 {MonitorText(1041), "serviceTime"}};
    T.Rows.reserve(Services.size());
    for (const auto& S : Services)
        T.Rows.push_back({S.Name, Code(S.Requests), Code(S.Queued), Code(S.QueueTime), Code(S.ServiceTime)});
    return T;
}

TStatTable ParamsTable(const monitor::TParamsList& Params, bool WithCodes) {
    // A code without a word: the window shows the code; with the codes
    // beside them, the word is simply missing.
    auto Word = [WithCodes](const char* W, std::int32_t C) -> TCell {
        if (W)
            return std::string(W);
        return WithCodes ? TCell() : TCell(std::to_string(C));
    };
    TStatTable T;
    if (WithCodes)
        T.Columns = {{MonitorText(1035), "name", false},
                     {"DataType", "dataType"},
                     {MonitorText(1045), "dataTypeText", false},
                     {MonitorText(1046), "precision"},
                     {MonitorText(1047), "scale"},
                     {"ModeCode", "mode"},
                     {MonitorText(1048), "modeText", false}};
    else
        T.Columns = {{MonitorText(1035), "name", false},
                     {MonitorText(1045), "dataTypeText", false},
                     {MonitorText(1046), "precision"},
                     {MonitorText(1047), "scale"},
                     {MonitorText(1048), "modeText", false}};
    for (const auto& P : Params) {
        const TCell Type = Word(monitor::DataTypeWord(P.DataType), P.DataType);
        const TCell Mode = Word(monitor::ParamModeWord(P.Mode), P.Mode);
        if (WithCodes)
            T.Rows.push_back(
                {P.Name, Code(P.DataType), Type, Code(P.Precision), Code(P.Scale), Code(P.Mode), Mode});
        else
            T.Rows.push_back({P.Name, Type, Code(P.Precision), Code(P.Scale), Mode});
    }
    return T;
}

std::vector<TDetailField> DetailFields(const std::string& Component, const monitor::TServerMore& More) {
    return {{MonitorText(1056), "name", Component},
            {MonitorText(1057), "invokedBy", More.InvokedBy},
            {MonitorText(1058), "active", Code(More.Active)},
            {MonitorText(1059), "maximum", Code(More.Maximum)},
            {MonitorText(1060), "requests", Code(More.Requests)},
            {MonitorText(1061), "queued", Code(More.Queued)},
            {MonitorText(1062), "queueTime", Code(More.QueueTime)},
            {MonitorText(1063), "serviceTime", Code(More.ServiceTime)}};
}

} // namespace wdx::tools

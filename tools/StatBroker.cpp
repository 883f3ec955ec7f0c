#include "tools/StatBroker.h"

#include "common/ResText.h"
#include "monitor/MonitorStrings.h"
#include "monitor/NPXMonitor.h"
#include "monitor/ParamWords.h"
#include "monitor/RelayCheck.h"
#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"

namespace wdx::tools {

using monitor::ENPXException;
using monitor::WideToUtf8;

namespace {
constexpr std::int16_t RelayHealthy = 0;

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
    const std::string Text = monitor::NPXErrorText(E);
    return OneLine(E.Title.empty() ? Text : E.Title + ": " + Text);
}

TRelayVerdict CheckWithRelay(const std::string& Broker) {
    const monitor::TRelayCheck Check = monitor::CheckBrokerThroughRelay(monitor::Utf8ToWide(Broker));
    if (!Check.Created())
        throw EStatFailure(OneLine(Broker + ": " + monitor::RelayFailureText(Check)));
    TRelayVerdict Verdict;
    Verdict.Status = Check.Status();
    Verdict.Warns = Check.NeedsWarning(false);
    if (Verdict.Status != RelayHealthy)
        Verdict.Text = WideToUtf8(Check.ErrorText());
    return Verdict;
}

std::string RelayWarningLine(const std::string& Broker, const TRelayVerdict& Verdict) {
    std::string Text = monitor::RelayWarningText(Verdict.Status, monitor::Utf8ToWide(Verdict.Text));
    // The second line tells the window's operator which button to press.
    Text = Text.substr(0, Text.find('\n'));
    return OneLine(Broker.empty() ? Text : Broker + ": " + Text);
}

std::unique_ptr<monitor::TNPXMonitor> ConnectBroker(const std::string& Broker) {
    const TRelayVerdict Verdict = CheckWithRelay(Broker);
    // What the window warns of without -debug ends here: a script cannot be
    // asked, and going on would only fail again after another wait.
    if (Verdict.Warns)
        throw EStatFailure(RelayWarningLine(Broker, Verdict));
    try {
        return std::make_unique<monitor::TNPXMonitor>(monitor::Utf8ToWide(Broker));
    } catch (const ENPXException& E) {
        throw EStatFailure(FailureLine(E));
    }
}

const TListColumns<monitor::TServer>& ComponentColumns() {
    using monitor::TServer;
    static const TListColumns<TServer> List{{{MonitorText(1035), "name", false},
                                             {MonitorText(1036), "active"},
                                             {MonitorText(1037), "maximum"},
                                             {MonitorText(1038), "requests"},
                                             {MonitorText(1039), "queued"},
                                             {MonitorText(1040), "queueTime"},
                                             {MonitorText(1041), "serviceTime"}},
                                            {&TServer::Active, &TServer::Maximum, &TServer::Requests,
                                             &TServer::Queued, &TServer::QueueTime, &TServer::ServiceTime}};
    return List;
}

const TListColumns<monitor::TService>& ServiceColumns() {
    using monitor::TService;
    static const TListColumns<TService> List{
        {{MonitorText(1035), "name", false},
         {MonitorText(1038), "requests"},
         {MonitorText(1039), "queued"},
         {MonitorText(1040), "queueTime"},
         {MonitorText(1041), "serviceTime"}},
        {&TService::Requests, &TService::Queued, &TService::QueueTime, &TService::ServiceTime}};
    return List;
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

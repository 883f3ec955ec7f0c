#pragma once
// The relay check that comes before every connection: the relay object is
// created, asked about one broker, and released when the check is dropped.
// The monitor window's connect step and the programs without windows share
// it, and with it what the relay's statuses mean and the texts that tell
// the operator about them.

#include "common/ResText.h"
#include "monitor/MonitorStrings.h"
#include "monitorapi/MonitorIntf.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wdx::monitor {

inline constexpr int IdCannotAccessRelay = 2007;
inline constexpr int IdInvalidRelayReturn = 2009;

// The status of a broker that answers with a notice only; the operator
// hears of it in debug mode alone.
inline constexpr std::int16_t RelayNotice = 2;
// The status when the check itself failed.
inline constexpr std::int16_t RelayCheckFailed = -1;

class TRelayCheck {
public:
    TRelayCheck() = default; // no relay, nothing checked

    // Whether the relay object could be created. When not, CreateFailure
    // says why (UTF-8) and the broker was not checked.
    bool Created() const noexcept { return bool(FRelay); }
    const std::string& CreateFailure() const noexcept { return FCreateFailure; }

    // What CheckBroker yielded; RelayCheckFailed when the call failed or the
    // relay was not created.
    std::int16_t Status() const noexcept { return FStatus; }

    // Whether the operator is warned of the status: anything but 0, where a
    // notice counts only in debug mode.
    bool NeedsWarning(bool DebugMode) const noexcept {
        return FStatus != 0 && (DebugMode || FStatus != RelayNotice);
    }

    // The relay's description of the status, asked now. Only for a created
    // relay; a failed call throws its ECOMError.
    std::u16string ErrorText() const;

    // Releases the relay object before the check is dropped.
    void Release() noexcept { FRelay.Reset(); }

private:
    friend TRelayCheck CheckBrokerThroughRelay(const std::u16string& BrokerName);

    TComPtr<IOmniRelay> FRelay;
    std::string FCreateFailure;
    std::int16_t FStatus = RelayCheckFailed;
};

// Creates the relay object and checks BrokerName, the three further check
// arguments 0. Throws nothing: a relay that cannot be created and a check
// that fails are both in the result. The relay stays held by the result.
TRelayCheck CheckBrokerThroughRelay(const std::u16string& BrokerName);

// Fills a message template in one pass: %d takes Number in decimal, %s takes
// Text, and %% is a percent sign; any other % stays as it is. Text is never
// read as a template itself.
std::u16string FillMessageTemplate(std::u16string_view Template, int Number, std::u16string_view Text);

// The connect step's two messages (UTF-8), from Table: "Cannot access Omni
// Relay:", one blank and why the relay could not be created; and the warning
// of Status with the relay's ErrorText, on two lines.
std::string RelayFailureText(const TRelayCheck& Check, const common::TStringTable& Table = MonitorStrings());
std::string RelayWarningText(std::int16_t Status, const std::u16string& ErrorText,
                             const common::TStringTable& Table = MonitorStrings());

} // namespace wdx::monitor

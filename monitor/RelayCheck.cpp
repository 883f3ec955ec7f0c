#include "monitor/RelayCheck.h"

#include "monitorapi/WideText.h"

#include <exception>

namespace wdx::monitor {

std::u16string TRelayCheck::ErrorText() const {
    return ComGet(*FRelay, &IOmniRelay::ErrorText);
}

TRelayCheck CheckBrokerThroughRelay(const std::u16string& BrokerName) {
    TRelayCheck check;
    try {
        check.FRelay = CoOmniRelay::Create();
    } catch (const std::exception& e) {
        check.FCreateFailure = e.what();
        return check;
    } catch (...) {
        check.FCreateFailure = "Unknown failure.";
        return check;
    }
    try {
        std::int16_t code = RelayCheckFailed;
        if (SUCCEEDED(check.FRelay->CheckBroker(TBStr(BrokerName).Get(), 0, 0, 0, &code)))
            check.FStatus = code;
        else
            DropComError(); // counts as RelayCheckFailed, which is warned of
    } catch (...) {
        // A failed check counts as RelayCheckFailed, which is warned of.
    }
    return check;
}

std::u16string FillMessageTemplate(std::u16string_view Template, int Number, std::u16string_view Text) {
    std::u16string out;
    out.reserve(Template.size() + Text.size() + 12);
    for (std::size_t i = 0; i < Template.size(); ++i) {
        if (Template[i] == u'%' && i + 1 < Template.size()) {
            const char16_t kind = Template[i + 1];
            if (kind == u'd' || kind == u's' || kind == u'%') {
                if (kind == u'd') {
                    const std::string digits = std::to_string(Number);
                    out.append(digits.begin(), digits.end());
                } else if (kind == u's') {
                    out += Text;
                } else {
                    out += u'%';
                }
                ++i;
                continue;
            }
        }
        out += Template[i];
    }
    return out;
}

std::string RelayFailureText(const TRelayCheck& Check, const common::TStringTable& Table) {
    return WideToUtf8(common::LoadResText(Table, IdCannotAccessRelay)) + " " + Check.CreateFailure();
}

std::string RelayWarningText(std::int16_t Status, const std::u16string& ErrorText,
                             const common::TStringTable& Table) {
    return WideToUtf8(
        FillMessageTemplate(common::LoadResText(Table, IdInvalidRelayReturn), Status, ErrorText));
}

} // namespace wdx::monitor

// The three list queries of the monitor server stand-in.
#include "statshost/StatsMonitor.h"

namespace wdx::statshost {

using monitor::THResult;
using monitor::Utf8ToWide;
using monitor::WideToUtf8;

namespace {
// Row names are read once per row of lists that can be long, and nearly
// always ASCII: widen those directly, without the general conversion's
// round trip through a QString.
std::u16string WideName(const std::string& Text) {
    std::u16string Wide(Text.size(), u'\0');
    for (std::size_t I = 0; I < Text.size(); ++I) {
        auto C = static_cast<unsigned char>(Text[I]);
        if (C >= 0x80)
            return Utf8ToWide(Text);
        Wide[I] = C;
    }
    return Wide;
}
} // namespace

template <class Intf, class Row>
template <class Fetch>
THResult TRowCursor<Intf, Row>::OpenWith(Fetch Request, std::int16_t& Status) {
    if (THResult R = this->Usable(); R.Failed())
        return R;
    // Rows of an earlier query must not be read as this one's.
    FRows.clear();
    FCursor = 0;
    Status = -1;
    TStatsClient* Client = this->ClientOrFail();
    if (!Client)
        return {};
    auto Result = Request(*Client);
    if (!Result.Ok()) {
        this->Failed(Result.Error());
        return {};
    }
    FRows = std::move(Result).Value();
    this->FErrorText.clear();
    Status = 0;
    return {};
}

template <class Intf, class Row> THResult TRowCursor<Intf, Row>::NextRow(std::int16_t& NoMore) {
    if (THResult R = this->Usable(); R.Failed())
        return R;
    if (FCursor <= FRows.size())
        ++FCursor;
    NoMore = FCursor <= FRows.size() ? 0 : 1;
    return {};
}

template <class Intf, class Row> THResult TRowCursor<Intf, Row>::Current(const Row*& R) const {
    if (THResult U = this->Usable(); U.Failed())
        return U;
    if (FCursor == 0 || FCursor > FRows.size())
        return THResult::Fail(u"The " + std::u16string(this->FWhat) +
                              u" has no current row; Next makes one current.");
    R = &FRows[FCursor - 1];
    return {};
}

template <class Intf, class Row>
template <class T>
THResult TRowCursor<Intf, Row>::Field(T Row::*Member, std::int32_t& Value) const {
    const Row* R = nullptr;
    if (THResult U = Current(R); U.Failed())
        return U;
    Value = R->*Member;
    return {};
}

template <class Intf, class Row>
THResult TRowCursor<Intf, Row>::TextField(std::string Row::*Member, std::u16string& Value) const {
    const Row* R = nullptr;
    if (THResult U = Current(R); U.Failed())
        return U;
    Value = WideName(R->*Member);
    return {};
}

THResult TStatsServers::Open(std::int16_t& Status) {
    return OpenWith([](TStatsClient& C) { return C.GetComponents(); }, Status);
}

THResult TStatsServices::Component(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FComponent = WideToUtf8(V);
    return {};
}

THResult TStatsServices::Open(std::int16_t& Status) {
    return OpenWith([this](TStatsClient& C) { return C.GetServices(FComponent); }, Status);
}

THResult TStatsParams::Service(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FService = WideToUtf8(V);
    return {};
}

THResult TStatsParams::Open(std::int16_t& Status) {
    return OpenWith([this](TStatsClient& C) { return C.GetParameters(FService); }, Status);
}

} // namespace wdx::statshost

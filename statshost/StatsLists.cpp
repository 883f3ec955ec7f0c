// The three list queries of the monitor server stand-in.
#include "statshost/StatsMonitor.h"
#include "unicode/Utf.h"

namespace wdx::statshost {

using monitor::ComFail;
using monitor::PutBStr;
using monitor::Utf8ToWide;

namespace {
// Row names are read once per row of lists that can be long, and nearly
// always ASCII: those are widened straight into the BSTR, without the
// general conversion.
HRESULT PutName(BSTR* Out, const std::string& Text) {
    if (!Out)
        return E_POINTER;
    // A length beyond what a BSTR holds is refused as AllocBStr refuses it,
    // before it could be cut to the UINT that SysAllocStringLen takes.
    if (Text.size() > 0x7FFFFFFFu / sizeof(OLECHAR))
        return E_OUTOFMEMORY;
    BSTR Wide = SysAllocStringLen(nullptr, UINT(Text.size()));
    if (!Wide)
        return E_OUTOFMEMORY;
    static_assert(sizeof(OLECHAR) == sizeof(char16_t));
    if (!unicode::WidenAscii(Text, reinterpret_cast<char16_t*>(Wide))) {
        SysFreeString(Wide);
        return PutBStr(Out, Utf8ToWide(Text));
    }
    *Out = Wide;
    return S_OK;
}

// The row a field is read from: out of line, as it is hardly ever made.
[[gnu::noinline]] HRESULT NoCurrentRow(const char16_t* What) {
    return ComFail(u"The " + std::u16string(What) + u" has no current row; Next makes one current.");
}
} // namespace

template <class Intf, class Row>
template <class Fetch>
HRESULT TRowCursor<Intf, Row>::OpenWith(Fetch Request, std::int16_t* Status) {
    if (HRESULT R = this->Usable(); FAILED(R))
        return R;
    if (!Status)
        return E_POINTER;
    // Rows of an earlier query must not be read as this one's.
    FRows.clear();
    FCursor = 0;
    FCurrent = nullptr;
    *Status = -1;
    TStatsClient* Client = this->ClientOrFail();
    if (!Client)
        return S_OK;
    auto Result = Request(*Client);
    if (!Result.Ok()) {
        this->Failed(Result.Error());
        return S_OK;
    }
    FRows = std::move(Result).Value();
    this->FErrorText.clear();
    *Status = 0;
    return S_OK;
}

template <class Intf, class Row> HRESULT TRowCursor<Intf, Row>::NextRow(std::int16_t* NoMore) {
    if (!this->FClosed && NoMore && FCursor < FRows.size()) [[likely]] {
        FCurrent = &FRows[FCursor++];
        *NoMore = 0;
        return S_OK;
    }
    return NoNextRow(NoMore);
}

template <class Intf, class Row> HRESULT TRowCursor<Intf, Row>::NoNextRow(std::int16_t* NoMore) {
    if (HRESULT R = this->Usable(); FAILED(R))
        return R;
    if (!NoMore)
        return E_POINTER;
    if (FCursor <= FRows.size())
        ++FCursor;
    *NoMore = FCursor <= FRows.size() ? 0 : 1;
    FCurrent = *NoMore ? nullptr : &FRows[FCursor - 1];
    // Past the last row none can be read again: a long list is not held
    // until the next query while its reader builds from it.
    if (*NoMore && !FRows.empty()) {
        FRows = {};
        FCursor = 1;
    }
    return S_OK;
}

template <class Intf, class Row> HRESULT TRowCursor<Intf, Row>::FieldFailure() const {
    if (HRESULT U = this->Usable(); FAILED(U))
        return U;
    if (!FCurrent)
        return NoCurrentRow(this->FWhat);
    return E_POINTER;
}

template <class Intf, class Row>
template <class T>
HRESULT TRowCursor<Intf, Row>::Field(T Row::*Member, std::int32_t* Value) const {
    if (this->FClosed || !FCurrent || !Value) [[unlikely]]
        return FieldFailure();
    *Value = FCurrent->*Member;
    return S_OK;
}

template <class Intf, class Row>
HRESULT TRowCursor<Intf, Row>::TextField(std::string Row::*Member, BSTR* Value) const {
    if (this->FClosed || !FCurrent) [[unlikely]]
        return FieldFailure();
    return PutName(Value, FCurrent->*Member); // which answers a null Value
}

HRESULT TStatsServers::Open(std::int16_t* Status) {
    return OpenWith([](TStatsClient& C) { return C.GetComponents(); }, Status);
}

HRESULT TStatsServices::Component(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FComponent = monitor::BStrUtf8(V);
    return S_OK;
}

HRESULT TStatsServices::Open(std::int16_t* Status) {
    return OpenWith([this](TStatsClient& C) { return C.GetServices(FComponent); }, Status);
}

HRESULT TStatsParams::Service(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FService = monitor::BStrUtf8(V);
    return S_OK;
}

HRESULT TStatsParams::Open(std::int16_t* Status) {
    return OpenWith([this](TStatsClient& C) { return C.GetParameters(FService); }, Status);
}

} // namespace wdx::statshost

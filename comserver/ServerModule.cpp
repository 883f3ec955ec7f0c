#include "comserver/ServerModule.h"

#include "monitorapi/MonitorIntf.h"
#include "statshost/StandIns.h"

#include <atomic>
#include <iterator>

namespace wdx::comserver {

namespace {
const TServedClass Classes[] = {
    {monitor::CLSID_OmniRelay, L"WDX Omni Relay (statistics stand-in)", statshost::RelayFactory},
    {monitor::CLSID_Monitor, L"WDX monitor server (statistics stand-in)", statshost::MonitorFactory},
};

std::atomic<long> Locks{0};
} // namespace

const TServedClass* ServedClasses(std::size_t& Count) {
    Count = std::size(Classes);
    return Classes;
}

const TServedClass* FindServedClass(REFCLSID Class) {
    for (const TServedClass& C : Classes)
        if (C.Class == Class)
            return &C;
    return nullptr;
}

void LockServer(bool Lock) {
    if (Lock) {
        Locks.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // An unlock without a lock is the client's mistake; the count must not
    // go below zero for it, or the DLL would never be unloadable again.
    long Held = Locks.load(std::memory_order_relaxed);
    while (Held > 0 && !Locks.compare_exchange_weak(Held, Held - 1, std::memory_order_release))
        ;
}

bool ServerInUse() {
    return monitor::ComObjectsAlive.load(std::memory_order_acquire) != 0 ||
           Locks.load(std::memory_order_acquire) != 0;
}

DWORD ServerPath(std::wstring& Path) {
    // The module that holds this function: the DLL, not the program that
    // loaded it.
    HMODULE Self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ServerPath), &Self))
        return GetLastError();
    // A path may be longer than MAX_PATH; a full buffer means it was cut.
    for (DWORD Size = MAX_PATH; Size <= 32768; Size *= 2) {
        Path.assign(Size, L'\0');
        const DWORD Length = GetModuleFileNameW(Self, Path.data(), Size);
        if (Length == 0)
            return GetLastError();
        if (Length < Size) {
            Path.resize(Length);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

} // namespace wdx::comserver

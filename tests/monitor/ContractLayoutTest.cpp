// The tables of the contract, slot by slot: the outside components are
// called by position, so a member declared one place off would call another
// member of the real component. Two views of the same tables: where the
// compiler puts each member (a virtual member pointer holds 1 + its byte
// offset in the table, on GCC and MinGW alike), and what a call through a
// raw slot of a live object reaches.

#include "FakeMonitor.h"

#include "monitorapi/MonitorIntf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>

using namespace wdx::monitor;
using namespace wdx::monitor::fake;

namespace {

template <class M> long SlotOf(M Member) {
    struct {
        std::uintptr_t Ptr;
        std::ptrdiff_t Adjust;
    } Raw;
    static_assert(sizeof(M) == sizeof(Raw), "a member pointer of two words");
    std::memcpy(&Raw, &Member, sizeof Raw);
    if ((Raw.Ptr & 1) == 0 || Raw.Adjust != 0)
        return -1; // not a virtual member of the interface's own table
    return long((Raw.Ptr - 1) / sizeof(void*));
}

#define EXPECT_SLOT(Intf, Member, Slot) EXPECT_EQ(SlotOf(&Intf::Member), Slot) << #Intf "::" #Member

// Every interface starts with IUnknown's three and IDispatch's four.
template <class Intf> void ExpectDispatchBase() {
    // The SDK adds a template QueryInterface beside the member.
    EXPECT_EQ(
        SlotOf(static_cast<HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**)>(&Intf::QueryInterface)),
        0);
    EXPECT_EQ(SlotOf(&Intf::AddRef), 1);
    EXPECT_EQ(SlotOf(&Intf::Release), 2);
    EXPECT_EQ(SlotOf(&Intf::GetTypeInfoCount), 3);
    EXPECT_EQ(SlotOf(&Intf::GetTypeInfo), 4);
    EXPECT_EQ(SlotOf(&Intf::GetIDsOfNames), 5);
    EXPECT_EQ(SlotOf(&Intf::Invoke), 6);
    EXPECT_TRUE((std::is_base_of_v<IDispatch, Intf>));
    EXPECT_EQ(sizeof(Intf), sizeof(void*)) << "nothing but the table pointer";
}

void** TableOf(void* Obj) {
    return *static_cast<void***>(Obj);
}

// Calls slot Slot of Obj as a member taking Args.
template <class... Args> HRESULT CallSlot(void* Obj, int Slot, Args... A) {
    using TEntry = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    return reinterpret_cast<TEntry>(TableOf(Obj)[Slot])(Obj, A...);
}

// Each position from 7 to Last that is not Named answers E_NOTIMPL and
// reaches nothing of the object.
void ExpectUnusedSlots(void* Obj, int Last, std::set<int> Named, TFakeScript& Script) {
    Script.TakeCalls();
    for (int Slot = 7; Slot <= Last; ++Slot) {
        if (!Named.count(Slot)) {
            EXPECT_EQ(CallSlot(Obj, Slot), E_NOTIMPL) << "slot " << Slot;
        }
    }
    EXPECT_TRUE(Script.TakeCalls().empty());
}

} // namespace

TEST(ContractLayout, RelayMembersSitAtSevenAndEight) {
    ExpectDispatchBase<IOmniRelay>();
    EXPECT_SLOT(IOmniRelay, ErrorText, 7);
    EXPECT_SLOT(IOmniRelay, CheckBroker, 8);
}

TEST(ContractLayout, MonitorMembersKeepTheirPositions) {
    ExpectDispatchBase<_Monitor>();
    EXPECT_SLOT(_Monitor, ErrorText, 7);
    EXPECT_SLOT(_Monitor, Connect, 8);
    EXPECT_SLOT(_Monitor, Disconnect, 9);
    EXPECT_SLOT(_Monitor, Servers, 10);
    EXPECT_SLOT(_Monitor, Services, 11);
    EXPECT_SLOT(_Monitor, ServerInfo, 12);
    EXPECT_SLOT(_Monitor, ServerAction, 13);
    EXPECT_SLOT(_Monitor, VersionInfo, 16);
    EXPECT_SLOT(_Monitor, Params, 19);
}

TEST(ContractLayout, ListMembersKeepTheirPositions) {
    ExpectDispatchBase<_servers>();
    EXPECT_SLOT(_servers, ErrorText, 8);
    EXPECT_SLOT(_servers, Name, 18);
    EXPECT_SLOT(_servers, Active, 19);
    EXPECT_SLOT(_servers, Maximum, 20);
    EXPECT_SLOT(_servers, Requests, 21);
    EXPECT_SLOT(_servers, Queued, 22);
    EXPECT_SLOT(_servers, QueueTime, 23);
    EXPECT_SLOT(_servers, ServiceTime, 24);
    EXPECT_SLOT(_servers, Open, 25);
    EXPECT_SLOT(_servers, Next, 26);
    EXPECT_SLOT(_servers, Close, 27);

    ExpectDispatchBase<_services>();
    EXPECT_SLOT(_services, ErrorText, 8);
    EXPECT_SLOT(_services, Component, 18);
    EXPECT_SLOT(_services, Name, 20);
    EXPECT_SLOT(_services, Requests, 21);
    EXPECT_SLOT(_services, Queued, 22);
    EXPECT_SLOT(_services, QueueTime, 23);
    EXPECT_SLOT(_services, ServiceTime, 24);
    EXPECT_SLOT(_services, Open, 25);
    EXPECT_SLOT(_services, Next, 26);
    EXPECT_SLOT(_services, Close, 27);

    ExpectDispatchBase<_params>();
    EXPECT_SLOT(_params, ErrorText, 8);
    EXPECT_SLOT(_params, Service, 18);
    EXPECT_SLOT(_params, Name, 19);
    EXPECT_SLOT(_params, DataType, 20);
    EXPECT_SLOT(_params, Mode, 21);
    EXPECT_SLOT(_params, Precision, 22);
    EXPECT_SLOT(_params, Scale, 23);
    EXPECT_SLOT(_params, Open, 24);
    EXPECT_SLOT(_params, Next, 25);
    EXPECT_SLOT(_params, Close, 26);
}

TEST(ContractLayout, DetailsActionAndVersionMembersKeepTheirPositions) {
    ExpectDispatchBase<_server_info>();
    EXPECT_SLOT(_server_info, ErrorText, 8);
    EXPECT_SLOT(_server_info, Component, 18);
    EXPECT_SLOT(_server_info, InvokedBy, 19);
    EXPECT_SLOT(_server_info, Active, 20);
    EXPECT_SLOT(_server_info, Maximum, 21);
    EXPECT_SLOT(_server_info, Requests, 22);
    EXPECT_SLOT(_server_info, Queued, 23);
    EXPECT_SLOT(_server_info, QueueTime, 24);
    EXPECT_SLOT(_server_info, ServiceTime, 25);
    EXPECT_SLOT(_server_info, Open, 27);
    EXPECT_SLOT(_server_info, Close, 28);

    ExpectDispatchBase<_server_action>();
    EXPECT_SLOT(_server_action, ErrorText, 8);
    EXPECT_SLOT(_server_action, Component, 18);
    EXPECT_SLOT(_server_action, Action, 19);
    EXPECT_SLOT(_server_action, Value, 20);
    EXPECT_SLOT(_server_action, ErrorCode, 21);
    EXPECT_SLOT(_server_action, Execute, 22);
    EXPECT_SLOT(_server_action, Close, 23);

    ExpectDispatchBase<_version>();
    EXPECT_SLOT(_version, Component, 18);
    EXPECT_SLOT(_version, Version, 19);
    EXPECT_SLOT(_version, ErrorCode, 20);
    EXPECT_SLOT(_version, NotFound, 22);
    EXPECT_SLOT(_version, Close, 23);
}

TEST(ContractLayout, IdentifiersAreTheRegisteredOnes) {
    EXPECT_EQ(GUIDText(CLSID_OmniRelay), "{64C45F05-FFB0-4B1C-A706-1E0034EC099A}");
    EXPECT_EQ(GUIDText(IOmniRelay::Iid), "{5ECED3A3-79E7-4756-8617-AB762CFDEDD4}");
    EXPECT_EQ(GUIDText(CLSID_Monitor), "{8BF6942C-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_Monitor::Iid), "{8BF6942E-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_servers::Iid), "{8BF69430-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_services::Iid), "{8BF69432-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_server_info::Iid), "{8BF69434-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_server_action::Iid), "{8BF69436-2332-11D3-9BF4-00C04FF38315}");
    EXPECT_EQ(GUIDText(_params::Iid), "{8BF69442-2332-11D3-9BF4-00C04FF38315}");
}

// Through the raw tables of live objects, as a component's client calls
// them: a named slot reaches its member, every other one answers E_NOTIMPL.
TEST(ContractLayout, RawSlotsReachTheirMembersAndTheRestAnswerNotImplemented) {
    TFakeServer server;
    server->Servers = {{u"Comp", 1, 5}};
    TComPtr<_Monitor> monitor;
    ASSERT_EQ(CreateComObject(CLSID_Monitor, monitor), S_OK);
    server->TakeCalls();

    // _Monitor: Params at 19 hands out a counted _params.
    _params* rawParams = nullptr;
    ASSERT_EQ(CallSlot(monitor.Get(), 19, &rawParams), S_OK);
    TComPtr<_params> params = TComPtr<_params>::Attach(rawParams);
    EXPECT_EQ(server->TakeCalls(), std::vector<std::string>{"Monitor.Params"});
    ExpectUnusedSlots(monitor.Get(), 19, {7, 8, 9, 10, 11, 12, 13, 16, 19}, server.Script());

    // _servers: Open at 25, Next at 26, Maximum at 20 and Name at 18.
    TComPtr<_servers> servers;
    ASSERT_EQ(CallSlot(monitor.Get(), 10, servers.Out()), S_OK);
    std::int16_t flag = -5;
    std::int32_t figure = 0;
    ASSERT_EQ(CallSlot(servers.Get(), 25, &flag), S_OK);
    ASSERT_EQ(CallSlot(servers.Get(), 26, &flag), S_OK);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(CallSlot(servers.Get(), 20, &figure), S_OK);
    EXPECT_EQ(figure, 5);
    TBStr name;
    ASSERT_EQ(CallSlot(servers.Get(), 18, name.Out()), S_OK);
    EXPECT_EQ(name.Text(), u"Comp");
    EXPECT_EQ(server->TakeCalls(),
              (std::vector<std::string>{"Monitor.Servers", "servers.Open", "servers.Next", "servers.Maximum",
                                        "servers.Name"}));
    ExpectUnusedSlots(servers.Get(), 27, {8, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}, server.Script());

    TComPtr<_services> services;
    TComPtr<_server_info> info;
    TComPtr<_server_action> action;
    TComPtr<_version> version;
    ASSERT_EQ(CallSlot(monitor.Get(), 11, services.Out()), S_OK);
    ASSERT_EQ(CallSlot(monitor.Get(), 12, info.Out()), S_OK);
    ASSERT_EQ(CallSlot(monitor.Get(), 13, action.Out()), S_OK);
    ASSERT_EQ(CallSlot(monitor.Get(), 16, version.Out()), S_OK);
    server->TakeCalls();

    // The last member of each: Close, where its table ends.
    EXPECT_EQ(CallSlot(services.Get(), 27), S_OK);
    EXPECT_EQ(CallSlot(params.Get(), 26), S_OK);
    EXPECT_EQ(CallSlot(info.Get(), 28), S_OK);
    EXPECT_EQ(CallSlot(action.Get(), 23), S_OK);
    EXPECT_EQ(CallSlot(version.Get(), 23), S_OK);
    EXPECT_EQ(server->TakeCalls(),
              (std::vector<std::string>{"services.Close", "params.Close", "server_info.Close",
                                        "server_action.Close", "version.Close"}));

    ExpectUnusedSlots(services.Get(), 27, {8, 18, 20, 21, 22, 23, 24, 25, 26, 27}, server.Script());
    ExpectUnusedSlots(params.Get(), 26, {8, 18, 19, 20, 21, 22, 23, 24, 25, 26}, server.Script());
    ExpectUnusedSlots(info.Get(), 28, {8, 18, 19, 20, 21, 22, 23, 24, 25, 27, 28}, server.Script());
    ExpectUnusedSlots(action.Get(), 23, {8, 18, 19, 20, 21, 22, 23}, server.Script());
    ExpectUnusedSlots(version.Get(), 23, {18, 19, 20, 22, 23}, server.Script());

    // The relay: CheckBroker at 8 with the name as a BSTR and the code out.
    TComPtr<IOmniRelay> relay = CoOmniRelay::Create();
    server->CheckBrokerCode = 2;
    std::int16_t code = -1;
    TBStr broker(u"Broker1");
    ASSERT_EQ(
        CallSlot(relay.Get(), 8, broker.Get(), std::int32_t(0), std::int32_t(0), std::int32_t(0), &code),
        S_OK);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(server->CheckedBrokers, std::vector<std::u16string>{u"Broker1"});
}

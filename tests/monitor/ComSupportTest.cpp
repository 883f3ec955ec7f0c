#include "ComEnvironment.h"
#include "FakeMonitor.h"

#include "monitorapi/ComFactory.h"
#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace wdx::monitor;
using namespace wdx::monitor::fake;

namespace {
constexpr CLSID CLSID_Test = ParseGUID("{01234567-89ab-CDEF-0123-456789ABCDEF}");

// Only IOmniRelay, to see what the object model does with other requests.
class TCountedRelay : public TComObject<IOmniRelay> {
public:
    explicit TCountedRelay(std::atomic<int>& Live) : FLive(Live) { ++FLive; }
    ~TCountedRelay() override { --FLive; }
    STDMETHODIMP ErrorText(BSTR* V) override { return PutBStr(V, u"x"); }
    STDMETHODIMP CheckBroker(BSTR, std::int32_t, std::int32_t, std::int32_t, std::int16_t* C) override {
        *C = 0;
        return S_OK;
    }

private:
    std::atomic<int>& FLive;
};

} // namespace

TEST(ComSupport, IdentifiersParseAndPrint) {
    EXPECT_EQ(GUIDText(CLSID_Test), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    // The fields as the SDK lays them out: Data1..3 as numbers, Data4 bytes.
    EXPECT_EQ(CLSID_Test.Data1, 0x01234567u);
    EXPECT_EQ(CLSID_Test.Data2, 0x89ABu);
    EXPECT_EQ(CLSID_Test.Data3, 0xCDEFu);
    EXPECT_EQ(CLSID_Test.Data4[0], 0x01u);
    EXPECT_EQ(CLSID_Test.Data4[7], 0xEFu);
    EXPECT_EQ(sizeof(GUID), 16u);
    EXPECT_EQ(ParseGUID(GUIDText(CLSID_Monitor)), CLSID_Monitor);
    EXPECT_FALSE(CLSID_Monitor == _Monitor::Iid);
    EXPECT_THROW(ParseGUID("{01234567-89ab-CDEF-0123-456789ABCDEG}"), std::invalid_argument);
    EXPECT_THROW(ParseGUID("01234567-89ab-CDEF-0123-456789ABCDEF"), std::invalid_argument);
    EXPECT_THROW(ParseGUID("{01234567-89ab-CDEF+0123-456789ABCDEF}"), std::invalid_argument);
}

// A BSTR carries its length before it and a zero after it, so a text with
// zero characters of its own survives, and null is the empty text.
TEST(ComSupport, BStrKeepsItsLengthAndItsOwner) {
    const std::u16string withZero(u"a\0b€", 4);
    TBStr text(withZero);
    EXPECT_EQ(SysStringLen(text.Get()), 4u);
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(text.Get())[-1], 8u) << "byte length before it";
    EXPECT_EQ(text.Get()[4], 0) << "terminated";
    EXPECT_EQ(text.Text(), withZero);
    EXPECT_EQ(text.Utf8(), std::string("a\0b€", 6));
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_TRUE(BStrView(nullptr).empty());

    BSTR raw = AllocBStr(u"abc");
    EXPECT_EQ(SysStringLen(raw), 3u);
    EXPECT_EQ(ReplaceBStr(&raw, u"longer text"), S_OK) << "the old one is freed (the sanitizers see it)";
    EXPECT_EQ(BStrView(raw), u"longer text");
    SysFreeString(raw);
    EXPECT_EQ(PutBStr(nullptr, u"x"), E_POINTER);
    // A length whose bytes do not fit the prefix is refused before anything
    // is read or allocated.
    const std::u16string_view tooLong(u"x", std::size_t(1) << 30);
    EXPECT_EQ(AllocBStr(tooLong), nullptr);
    EXPECT_THROW(TBStr{tooLong}, std::bad_alloc);

    TBStr moved = std::move(text);
    EXPECT_EQ(text.Get(), nullptr);
    EXPECT_EQ(moved.View(), withZero);
    *moved.Out() = AllocBStr(u"new");
    EXPECT_EQ(moved.Text(), u"new");
}

TEST(ComSupport, TextsFreedOneAfterAnotherMakeRoomForTheNext) {
    // Lengths on either side of those that share one size of block, freed
    // and made in every order, two alive at once too: each text holds its
    // own characters, length and terminator (the sanitizers see the rest).
    const std::size_t Lengths[] = {0, 1, 15, 63, 64, 65, 200};
    for (const std::size_t Freed : Lengths)
        for (const std::size_t Made : Lengths) {
            SysFreeString(AllocBStr(std::u16string(Freed, u'a')));
            BSTR First = AllocBStr(std::u16string(Made, u'b'));
            BSTR Second = AllocBStr(std::u16string(Freed, u'c'));
            ASSERT_NE(First, nullptr);
            ASSERT_NE(Second, nullptr);
            EXPECT_NE(First, Second);
            EXPECT_EQ(BStrView(First), std::u16string(Made, u'b')) << Freed << " " << Made;
            EXPECT_EQ(First[Made], 0);
            EXPECT_EQ(BStrView(Second), std::u16string(Freed, u'c'));
            SysFreeString(First);
            SysFreeString(Second);
        }
}

TEST(ComSupport, HandlesCountReferencesAndQueryChecksTheInterface) {
    std::atomic<int> live = 0;
    {
        TComPtr<IOmniRelay> a = MakeCom<TCountedRelay>(live);
        TComPtr<IOmniRelay> b = a;
        TComPtr<IOmniRelay> c = std::move(b);
        EXPECT_FALSE(b);
        a.Reset();
        EXPECT_EQ(live, 1) << "c still holds it";

        // IUnknown and IDispatch are the same object, as a dual interface's are.
        void* unk = nullptr;
        void* disp = nullptr;
        ASSERT_EQ(c->QueryInterface(IidUnknown, &unk), S_OK);
        ASSERT_EQ(c->QueryInterface(IidDispatch, &disp), S_OK);
        EXPECT_EQ(unk, static_cast<IUnknown*>(c.Get()));
        EXPECT_EQ(disp, unk);
        TComPtr<IUnknown> held = TComPtr<IUnknown>::Attach(static_cast<IUnknown*>(unk));
        static_cast<IUnknown*>(disp)->Release();
        TComPtr<_Monitor> wrong;
        EXPECT_EQ(QueryInterface(*held, wrong), E_NOINTERFACE);
        EXPECT_FALSE(wrong);
        EXPECT_EQ(c->QueryInterface(IidUnknown, nullptr), E_POINTER);
        UINT count = 9;
        EXPECT_EQ(c->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 0u) << "no type information is offered";
    }
    EXPECT_EQ(live, 0);
}

// The text a failing callee leaves is the error's, taken once: it cannot
// explain a later failure that left none, which gets its code's own text.
TEST(ComSupport, FailedStatusBecomesECOMErrorWithItsText) {
    EXPECT_NO_THROW(ComCheck(S_OK));
    EXPECT_NO_THROW(ComCheck(S_FALSE));
    try {
        ComCheck(ComFail(u"Zugriff verweigert ✗"));
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_STREQ(e.what(), "Zugriff verweigert ✗");
        EXPECT_EQ(e.ErrorCode(), E_FAIL);
    }
    // A non-negative code cannot make a failure look like success.
    EXPECT_TRUE(FAILED(ComFail(u"odd", 5)));
    DropComError();
    try {
        ComCheck(E_POINTER);
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_EQ(std::string(e.what()), WideToUtf8(HResultText(E_POINTER)));
        EXPECT_NE(std::string(e.what()), "");
    }
    try {
        ComCheck(HRESULT(0x80041234));
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_NE(std::string(e.what()).find("0x80041234"), std::string::npos) << e.what();
    }
    // Each thread has its own text, as COM keeps it.
    (void)ComFail(u"this thread's");
    std::u16string other = u"unset";
    std::thread([&other] {
        if (!TakeComErrorText(other))
            other = u"none";
    }).join();
    EXPECT_EQ(other, u"none");
    std::u16string mine;
    EXPECT_TRUE(TakeComErrorText(mine));
    EXPECT_EQ(mine, u"this thread's");
    EXPECT_FALSE(TakeComErrorText(mine));
}

TEST(ComFactory, ScopesRegisterAndRestore) {
    std::atomic<int> live = 0;
    TComPtr<IUnknown> obj;
    // What the failure's COM error says.
    auto failure = [](HRESULT r) {
        try {
            ComCheck(r);
        } catch (const ECOMError& e) {
            return std::make_pair(r, std::string(e.what()));
        }
        return std::make_pair(r, std::string("no failure"));
    };
    auto [code, text] = failure(CreateComObject(CLSID_Test, obj));
    EXPECT_EQ(code, REGDB_E_CLASSNOTREG);
    EXPECT_NE(text.find("not registered"), std::string::npos) << text;
    {
        TClassRegistrationScope outer(CLSID_Test, [&](TComPtr<IUnknown>& o) {
            o = MakeCom<TCountedRelay>(live);
            return S_OK;
        });
        {
            TClassRegistrationScope inner(
                CLSID_Test, [](TComPtr<IUnknown>&) -> HRESULT { throw std::runtime_error("factory broke"); });
            EXPECT_EQ(failure(CreateComObject(CLSID_Test, obj)).second, "factory broke");
        }
        TComPtr<IOmniRelay> relay;
        ASSERT_EQ(CreateComObject(CLSID_Test, relay), S_OK);
        EXPECT_EQ(live, 1);
        {
            // A factory that claims success but gives nothing is a failure.
            TClassRegistrationScope empty(CLSID_Test, [](TComPtr<IUnknown>&) { return S_OK; });
            EXPECT_EQ(failure(CreateComObject(CLSID_Test, obj)).first, E_POINTER);
        }
    }
    EXPECT_EQ(live, 0);
    EXPECT_FALSE(IsClassRegistered(CLSID_Test));
}

// One object, its handles copied and dropped on two threads at once (the
// exporter's readers hand references across threads): no count is lost, so
// the object is freed once, by the last release, and not before.
TEST(ComSupport, ReferencesCountedFromTwoThreadsAreNeverLost) {
    std::atomic<int> live = 0;
    TComPtr<IOmniRelay> held = MakeCom<TCountedRelay>(live);
    auto churn = [&held] {
        for (int i = 0; i < 200000; ++i) {
            TComPtr<IOmniRelay> copy = held;
            TComPtr<IOmniRelay> again = copy;
        }
    };
    std::thread a(churn), b(churn);
    a.join();
    b.join();
    ASSERT_EQ(live, 1);
    EXPECT_EQ(held->AddRef(), 2u) << "the count is exactly the handles held";
    EXPECT_EQ(held->Release(), 1u);
    held.Reset();
    EXPECT_EQ(live, 0);
}

// Objects are created on several threads while another registers and
// removes a class: each creation gets its own object or a clean failure.
TEST(ComFactory, TableServesThreadsWhileItChanges) {
    constexpr CLSID Other = ParseGUID("{89ABCDEF-0123-4567-89AB-CDEF01234567}");
    std::atomic<int> live = 0, made = 0;
    TClassRegistrationScope scope(CLSID_Test, [&](TComPtr<IUnknown>& o) {
        o = MakeCom<TCountedRelay>(live);
        return S_OK;
    });
    std::atomic<bool> stop = false;
    std::thread changer([&] {
        while (!stop)
            TClassRegistrationScope flicker(Other, [](TComPtr<IUnknown>&) { return S_OK; });
    });
    auto create = [&] {
        for (int i = 0; i < 20000; ++i) {
            TComPtr<IOmniRelay> relay;
            if (SUCCEEDED(CreateComObject(CLSID_Test, relay)) && relay)
                ++made;
        }
    };
    std::thread a(create), b(create);
    a.join();
    b.join();
    stop = true;
    changer.join();
    EXPECT_EQ(made, 40000);
    EXPECT_EQ(live, 0);
    EXPECT_FALSE(IsClassRegistered(Other));
}

TEST(ComFactory, RelayIsCreatedThroughTheTable) {
    EXPECT_THROW(CoOmniRelay::Create(), ECOMError);
    TFakeServer server;
    {
        TComPtr<IOmniRelay> relay = CoOmniRelay::Create();
        std::int16_t code = -1;
        server->CheckBrokerCode = 2;
        ComCheck(relay->CheckBroker(TBStr(u"Broker1").Get(), 0, 0, 0, &code));
        EXPECT_EQ(code, 2);
        EXPECT_EQ(server->CheckedBrokers, std::vector<std::u16string>{u"Broker1"});
    }
    EXPECT_EQ(server->LiveObjects, 0);
    server->FailCall("Relay.QueryInterface", u"no relay interface");
    try {
        CoOmniRelay::Create();
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_STREQ(e.what(), "no relay interface");
    }
    EXPECT_EQ(server->LiveObjects, 0) << "the half-made object is released";
}

TEST(WideText, ConvertsAndMarksWhatCannotBeConverted) {
    std::u16string wide = u"Größe 😀 ✓";
    EXPECT_EQ(WideToUtf8(wide), "Größe 😀 ✓");
    EXPECT_EQ(Utf8ToWide("Größe 😀 ✓"), wide);

    std::u16string lone = u"a";
    lone += char16_t(0xD800); // high surrogate with nothing after it
    lone += u"b";
    lone += char16_t(0xDC00); // low surrogate alone
    EXPECT_EQ(WideToUtf8(lone), "a\uFFFDb\uFFFD");

    std::string bad = "x\xFFy";
    EXPECT_EQ(Utf8ToWide(bad), u"x\uFFFDy");

    std::u16string withZero(u"a\0b", 3);
    EXPECT_EQ(WideToUtf8(withZero), std::string("a\0b", 3));
}

#if defined(_WIN32)

// Activation through the system: a class the table does not hold is found
// by its registration, and a missing one, or a server that cannot load,
// fails with the system's own text, never a crash or a silent nothing.
namespace {

// CLSID_Test registered under HKLM with an in-process server that does not
// exist, while it lives (Wine reads COM classes from HKLM only).
class TBrokenRegistration {
public:
    TBrokenRegistration() {
        const std::string Text = GUIDText(CLSID_Test);
        const std::wstring Id(Text.begin(), Text.end());
        FKey = L"Software\\Classes\\CLSID\\" + Id;
        HKEY Key = nullptr;
        const std::wstring Server = FKey + L"\\InprocServer32";
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &Key,
                            nullptr) != ERROR_SUCCESS)
            return;
        const wchar_t Path[] = L"C:\\nowhere\\wdx-missing-server.dll";
        const wchar_t Model[] = L"Apartment";
        FDone = RegSetValueExW(Key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(Path), sizeof Path) ==
                    ERROR_SUCCESS &&
                RegSetValueExW(Key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(Model),
                               sizeof Model) == ERROR_SUCCESS;
        RegCloseKey(Key);
    }
    ~TBrokenRegistration() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, FKey.c_str()); }
    bool Done() const { return FDone; }

private:
    std::wstring FKey;
    bool FDone = false;
};

std::string FailureOf(HRESULT Code) {
    try {
        ComCheck(Code);
    } catch (const ECOMError& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(ComActivation, UnregisteredOrUnloadableClassesFailWithTheSystemsText) {
    TComPtr<IUnknown> Obj;
    HRESULT R = CreateComObject(CLSID_Test, Obj);
    EXPECT_EQ(R, REGDB_E_CLASSNOTREG);
    const std::string Text = FailureOf(R);
    EXPECT_EQ(Text, WideToUtf8(HResultText(REGDB_E_CLASSNOTREG)));
    EXPECT_EQ(Text.find("Operation failed"), std::string::npos) << "the system words it: " << Text;
    EXPECT_FALSE(Obj);

    // The connection's wrapper says it in the monitor's words; the relay
    // keeps the system's.
    try {
        TMonitor M;
        ADD_FAILURE() << "a wrapper without its class";
    } catch (const ECOMError& e) {
        EXPECT_STREQ(e.what(), "The monitor server class is not registered.");
    }
    EXPECT_THROW(CoOmniRelay::Create(), ECOMError);

    TBrokenRegistration Broken;
    if (!Broken.Done())
        GTEST_SKIP() << "cannot register a class here";
    R = CreateComObject(CLSID_Test, Obj);
    EXPECT_TRUE(FAILED(R));
    EXPECT_NE(R, REGDB_E_CLASSNOTREG) << "registered, but its server cannot load";
    const std::string LoadText = FailureOf(R);
    EXPECT_FALSE(LoadText.empty());
    EXPECT_EQ(LoadText, WideToUtf8(HResultText(R)));
    EXPECT_FALSE(Obj);
}

#endif

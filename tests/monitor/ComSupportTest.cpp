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
const TGUID CLSID_Test = TGUID::Parse("{01234567-89ab-CDEF-0123-456789ABCDEF}");

// Only IOmniRelay, to see what the object model does with other requests.
class TCountedRelay : public TComObject<IOmniRelay> {
public:
    explicit TCountedRelay(std::atomic<int>& Live) : FLive(Live) { ++FLive; }
    ~TCountedRelay() override { --FLive; }
    THResult ErrorText(std::u16string& V) override {
        V = u"x";
        return {};
    }
    THResult CheckBroker(const std::u16string&, std::int32_t, std::int32_t, std::int32_t,
                         std::int16_t& C) override {
        C = 0;
        return {};
    }

private:
    std::atomic<int>& FLive;
};

} // namespace

TEST(ComSupport, IdentifiersParseAndPrint) {
    EXPECT_EQ(CLSID_Test.ToString(), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(TGUID::Parse(CLSID_Monitor.ToString()), CLSID_Monitor);
    EXPECT_NE(CLSID_Monitor, _Monitor::IID);
    EXPECT_THROW(TGUID::Parse("{01234567-89ab-CDEF-0123-456789ABCDEG}"), std::invalid_argument);
    EXPECT_THROW(TGUID::Parse("01234567-89ab-CDEF-0123-456789ABCDEF"), std::invalid_argument);
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

        TComPtr<IComUnknown> unk;
        ASSERT_TRUE(QueryInterface(*c, unk).Succeeded());
        TComPtr<_Monitor> wrong;
        THResult r = QueryInterface(*unk, wrong);
        EXPECT_EQ(r.Code(), ErrNoInterface);
        EXPECT_FALSE(wrong);
    }
    EXPECT_EQ(live, 0);
}

TEST(ComSupport, FailedStatusBecomesECOMErrorWithItsText) {
    EXPECT_NO_THROW(ComCheck(THResult()));
    try {
        ComCheck(THResult::Fail(u"Zugriff verweigert ✗"));
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_STREQ(e.what(), "Zugriff verweigert ✗");
        EXPECT_EQ(e.ErrorCode(), ErrFail);
    }
    // No text: the code is named so the report is never blank; a
    // non-negative code cannot make a failure look like success.
    THResult odd = THResult::Fail(u"", 5);
    EXPECT_TRUE(odd.Failed());
    try {
        ComCheck(THResult::Fail(u"", ErrPointer));
        FAIL();
    } catch (const ECOMError& e) {
        EXPECT_STREQ(e.what(), "Operation failed (error 0x80004003).");
    }
}

TEST(ComFactory, ScopesRegisterAndRestore) {
    std::atomic<int> live = 0;
    TComPtr<IComUnknown> obj;
    THResult r = CreateComObject(CLSID_Test, obj);
    EXPECT_EQ(r.Code(), ErrClassNotRegistered);
    EXPECT_NE(std::u16string(r.Message()).find(u"not registered"), std::u16string::npos);
    {
        TClassRegistrationScope outer(CLSID_Test, [&](TComPtr<IComUnknown>& o) {
            o = TComPtr<IComUnknown>(new TCountedRelay(live));
            return THResult();
        });
        {
            TClassRegistrationScope inner(CLSID_Test, [](TComPtr<IComUnknown>&) -> THResult {
                throw std::runtime_error("factory broke");
            });
            r = CreateComObject(CLSID_Test, obj);
            EXPECT_EQ(r.Message(), u"factory broke");
        }
        TComPtr<IOmniRelay> relay;
        ASSERT_TRUE(CreateComObject(CLSID_Test, relay).Succeeded());
        EXPECT_EQ(live, 1);
        {
            // A factory that claims success but gives nothing is a failure.
            TClassRegistrationScope empty(CLSID_Test, [](TComPtr<IComUnknown>&) { return THResult(); });
            EXPECT_EQ(CreateComObject(CLSID_Test, obj).Code(), ErrPointer);
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
    const TGUID Other = TGUID::Parse("{89ABCDEF-0123-4567-89AB-CDEF01234567}");
    std::atomic<int> live = 0, made = 0;
    TClassRegistrationScope scope(CLSID_Test, [&](TComPtr<IComUnknown>& o) {
        o = MakeCom<TCountedRelay>(live);
        return THResult();
    });
    std::atomic<bool> stop = false;
    std::thread changer([&] {
        while (!stop)
            TClassRegistrationScope flicker(Other, [](TComPtr<IComUnknown>&) { return THResult(); });
    });
    auto create = [&] {
        for (int i = 0; i < 20000; ++i) {
            TComPtr<IOmniRelay> relay;
            if (CreateComObject(CLSID_Test, relay).Succeeded() && relay)
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
        ComCheck(relay->CheckBroker(u"Broker1", 0, 0, 0, code));
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

#pragma once
// How the monitor's code stands on the binary contract (ComBase.h): class
// and interface identifiers written as text, the exception a failed HRESULT
// turns into, the owning handle of one interface reference, the owner of one
// BSTR, and the base of every implementation.
//
// Callers never look at a failed HRESULT themselves: ComCheck turns it into
// an ECOMError on the spot, with the text the component left for this
// thread (IErrorInfo on Windows) or else the code's own text. Implementations
// fail through ComFail, which leaves that text.
//
// Threads: references are free-threaded, as COM's own AddRef and Release are.
// A handle may be copied, passed to another thread and released there while
// other threads hold the same object; the count is atomic and the last
// Release, wherever it happens, frees the object once. The members of an
// implementation are not made safe for calls from two threads at once: an
// object is called by one thread at a time (the exporter's readers each
// create their own objects through the class table). The error text is kept
// per thread, as COM keeps it.

#include "monitorapi/ComBase.h"

#include <atomic>
#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace wdx::monitor {

// Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; a malformed text is a
// compile error in a constant expression and std::invalid_argument otherwise.
constexpr GUID ParseGUID(std::string_view Text) {
    auto Hex = [](char C) -> std::uint32_t {
        if (C >= '0' && C <= '9')
            return std::uint32_t(C - '0');
        if (C >= 'A' && C <= 'F')
            return std::uint32_t(C - 'A' + 10);
        if (C >= 'a' && C <= 'f')
            return std::uint32_t(C - 'a' + 10);
        throw std::invalid_argument("malformed identifier");
    };
    if (Text.size() != 38 || Text.front() != '{' || Text.back() != '}' || Text[9] != '-' || Text[14] != '-' ||
        Text[19] != '-' || Text[24] != '-')
        throw std::invalid_argument("malformed identifier");
    auto Number = [&](std::size_t At, std::size_t Digits) {
        std::uint32_t N = 0;
        for (std::size_t I = 0; I < Digits; ++I)
            N = N << 4 | Hex(Text[At + I]);
        return N;
    };
    GUID G{};
    G.Data1 = Number(1, 8);
    G.Data2 = std::uint16_t(Number(10, 4));
    G.Data3 = std::uint16_t(Number(15, 4));
    G.Data4[0] = std::uint8_t(Number(20, 2));
    G.Data4[1] = std::uint8_t(Number(22, 2));
    for (std::size_t I = 0; I < 6; ++I)
        G.Data4[2 + I] = std::uint8_t(Number(25 + 2 * I, 2));
    return G;
}

// Braced, upper case.
std::string GUIDText(const GUID& G);

// An order for identifiers, for tables keyed by them.
struct TGUIDLess {
    bool operator()(const GUID& A, const GUID& B) const;
};

inline constexpr IID IidUnknown = ParseGUID("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IidDispatch = ParseGUID("{00020400-0000-0000-C000-000000000046}");

// The "COM error": one failed interface call. what() is the component's
// text (UTF-8), else the code's own text, so the default error report never
// shows an empty box.
class ECOMError : public std::runtime_error {
public:
    ECOMError(HRESULT Code, std::u16string_view Message);
    HRESULT ErrorCode() const { return FErrorCode; }

private:
    HRESULT FErrorCode;
};

// The text of a code as the system words it ("Class not registered" ...);
// "Operation failed (error 0x80004005)." when it has none.
std::u16string HResultText(HRESULT Code);

// Callee side: leaves Text for this thread's caller and returns Code (a
// failure; anything else counts as E_FAIL).
HRESULT ComFail(std::u16string_view Text, HRESULT Code = E_FAIL);

// Caller side: the text the last failed call left on this thread, taken so
// that it cannot explain a later failure; false when there is none.
bool TakeComErrorText(std::u16string& Text);

// For a failure the caller drops on purpose: its text must not stay behind.
inline void DropComError() {
    std::u16string Unused;
    (void)TakeComErrorText(Unused);
}

// Throws the ECOMError of a failed call.
[[noreturn]] void ThrowComError(HRESULT Code);

// Turns a failed HRESULT into an ECOMError at once.
inline void ComCheck(HRESULT R) {
    if (FAILED(R))
        ThrowComError(R);
}

// ---- BSTR ----

// The characters of a BSTR; a null BSTR is the empty text.
inline std::u16string_view BStrView(const OLECHAR* Text) {
    if (!Text)
        return {};
    return {reinterpret_cast<const char16_t*>(Text), SysStringLen(const_cast<BSTR>(Text))};
}

// The characters of a BSTR as UTF-8 (see WideText.h for what cannot be
// converted).
std::string BStrUtf8(const OLECHAR* Text);

// A new BSTR holding Text; null only when memory ran out.
inline BSTR AllocBStr(std::u16string_view Text) {
    if (Text.size() > 0x7FFFFFFFu / sizeof(OLECHAR)) // its byte length must fit the prefix
        return nullptr;
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(Text.data()), UINT(Text.size()));
}

// Callee side of an out text: *Out receives a new BSTR the caller frees.
HRESULT PutBStr(BSTR* Out, std::u16string_view Text);
// Callee side of a text passed by reference: the caller's BSTR is freed and
// replaced.
HRESULT ReplaceBStr(BSTR* InOut, std::u16string_view Text);

// The owner of one BSTR: freed when the owner ends.
class TBStr {
public:
    TBStr() noexcept = default;
    // Throws std::bad_alloc when the text cannot be allocated.
    explicit TBStr(std::u16string_view Text);
    TBStr(TBStr&& Other) noexcept : FText(std::exchange(Other.FText, nullptr)) {}
    TBStr& operator=(TBStr Other) noexcept {
        std::swap(FText, Other.FText);
        return *this;
    }
    ~TBStr() { SysFreeString(FText); }

    BSTR Get() const noexcept { return FText; }
    // For an out argument: the text held so far is freed first.
    BSTR* Out() noexcept {
        Reset();
        return &FText;
    }
    // For a text passed by reference, which the callee may replace.
    BSTR* Ref() noexcept { return &FText; }
    void Reset() noexcept {
        if (FText)
            SysFreeString(std::exchange(FText, nullptr));
    }

    std::u16string_view View() const { return BStrView(FText); }
    std::u16string Text() const { return std::u16string(View()); }
    std::string Utf8() const { return BStrUtf8(FText); }

private:
    BSTR FText = nullptr;
};

// ---- references ----

// Anything with IUnknown's counting; an implementation of several
// interfaces has more than one IUnknown base, so the base is not asked for.
template <class T>
concept CInterface = requires(T* P) {
    P->AddRef();
    P->Release();
};

template <class T>
concept CHasIid = requires {
    { T::Iid } -> std::convertible_to<IID>;
};

// The owning handle of one reference. Copying adds a reference, destroying or
// resetting releases it; "released" in the monitor's code means Reset().
template <CInterface T> class TComPtr {
public:
    TComPtr() noexcept = default;
    TComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference to P.
    explicit TComPtr(T* P) noexcept : FPtr(P) {
        if (FPtr)
            FPtr->AddRef();
    }
    TComPtr(const TComPtr& Other) noexcept : TComPtr(Other.FPtr) {}
    TComPtr(TComPtr&& Other) noexcept : FPtr(std::exchange(Other.FPtr, nullptr)) {}
    template <class U>
    requires std::convertible_to<U*, T*> TComPtr(const TComPtr<U>& Other)
    noexcept : TComPtr(static_cast<T*>(Other.Get())) {}
    ~TComPtr() { Reset(); }

    TComPtr& operator=(TComPtr Other) noexcept {
        std::swap(FPtr, Other.FPtr);
        return *this;
    }

    // Adopts a reference that was already counted for the caller.
    static TComPtr Attach(T* P) noexcept {
        TComPtr r;
        r.FPtr = P;
        return r;
    }
    // For an out argument that hands back a counted reference; the one held
    // so far is released first.
    T** Out() noexcept {
        Reset();
        return &FPtr;
    }

    // Releases the reference; the handle is empty before the object hears of it.
    void Reset() noexcept {
        if (T* p = std::exchange(FPtr, nullptr))
            p->Release();
    }

    T* Get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

// Asks Obj for the interface T (T::Iid). A success that hands back nothing
// counts as a failure: the caller must never see an empty interface.
template <CHasIid T> HRESULT QueryInterface(IUnknown& Obj, TComPtr<T>& Out) {
    void* p = nullptr;
    HRESULT r = Obj.QueryInterface(T::Iid, &p);
    if (FAILED(r))
        return r;
    if (!p)
        return ComFail(u"The object returned no interface.", E_POINTER);
    Out = TComPtr<T>::Attach(static_cast<T*>(p));
    return S_OK;
}

// Reads one out value of an interface member, throwing ECOMError on failure.
template <class T, class I> T ComGet(I& Intf, HRESULT (STDMETHODCALLTYPE I::*Member)(T*)) {
    T value{};
    ComCheck((Intf.*Member)(&value));
    return value;
}
// The same for a text: the BSTR is freed once read.
template <class I> std::u16string ComGet(I& Intf, HRESULT (STDMETHODCALLTYPE I::*Member)(BSTR*)) {
    TBStr value;
    ComCheck((Intf.*Member)(value.Out()));
    return value.Text();
}

// The same, the text as UTF-8 straight from the BSTR.
template <class I> std::string ComGetUtf8(I& Intf, HRESULT (STDMETHODCALLTYPE I::*Member)(BSTR*)) {
    TBStr value;
    ComCheck((Intf.*Member)(value.Out()));
    return value.Utf8();
}

// ---- implementations ----

// The implementation objects of this module (program or DLL) that are alive:
// a server DLL may be unloaded only when none is left.
inline std::atomic<long> ComObjectsAlive{0};

// Reference counting, the interface query and IDispatch's members for an
// implementation of one or more interfaces (the first one stands for
// IUnknown and IDispatch). Create it with MakeCom; it frees itself when its
// last reference is released. The members are reached through the tables
// alone: the dispatch members report that no type information is offered.
//
// On Windows it also answers ISupportErrorInfo for each of its interfaces
// that has an identifier: every failure of an implementation goes through
// ComFail, which leaves its text as the thread's error object, so a client
// that asks first (as COM's own clients do) is told to read it. That
// interface is a member answering for the object (its IUnknown is the
// object's), not a base: an implementation keeps one IUnknown to convert to.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // the SDK's interfaces have none, by design
template <class First, class... Rest> class TComObject : public First, public Rest... {
public:
    STDMETHODIMP QueryInterface(REFIID Iid, void** Obj) override {
        if (!Obj)
            return E_POINTER;
        *Obj = nullptr;
        if (Iid == IidUnknown || Iid == IidDispatch)
            *Obj = static_cast<IDispatch*>(static_cast<First*>(this));
#if defined(_WIN32)
        else if (Iid == IID_ISupportErrorInfo)
            *Obj = static_cast<ISupportErrorInfo*>(&FErrorInfoSupport);
#endif
        else
            (TryInterface<First>(Iid, Obj) || ... || TryInterface<Rest>(Iid, Obj));
        if (!*Obj)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return ULONG(FRefCount.fetch_add(1, std::memory_order_relaxed) + 1);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        // acq_rel: what any thread did to the object happens before the
        // delete on the thread that drops the last reference.
        std::uint32_t left = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* Count) override {
        if (!Count)
            return E_POINTER;
        *Count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** Info) override {
        if (Info)
            *Info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    TComObject() {
        ComObjectsAlive.fetch_add(1, std::memory_order_relaxed);
    }
    virtual ~TComObject() {
        ComObjectsAlive.fetch_sub(1, std::memory_order_release);
    }
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

private:
    template <class I> static bool HasIid(REFIID Iid) {
        if constexpr (CHasIid<I>)
            return Iid == I::Iid;
        return false;
    }
    template <class I> bool TryInterface(REFIID Iid, void** Obj) {
        if (!HasIid<I>(Iid))
            return false;
        *Obj = static_cast<I*>(this);
        return true;
    }

    std::atomic<std::uint32_t> FRefCount{0};

#if defined(_WIN32)
    class TErrorInfoSupport final : public ISupportErrorInfo {
    public:
        explicit TErrorInfoSupport(TComObject& Outer) : FOuter(Outer) {}
        STDMETHODIMP QueryInterface(REFIID Iid, void** Obj) override {
            return FOuter.QueryInterface(Iid, Obj);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return FOuter.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return FOuter.Release(); }
        STDMETHODIMP InterfaceSupportsErrorInfo(REFIID Iid) override {
            return (HasIid<First>(Iid) || ... || HasIid<Rest>(Iid)) ? S_OK : S_FALSE;
        }

    private:
        TComObject& FOuter;
    };
    TErrorInfoSupport FErrorInfoSupport{*this};
#endif
};
#pragma GCC diagnostic pop

// Creates an implementation object and hands out its first reference.
template <class T, class... Args> TComPtr<T> MakeCom(Args&&... A) {
    return TComPtr<T>(new T(std::forward<Args>(A)...));
}

// Callee side of an out interface: *Out receives the first reference to a
// new implementation object T, which the caller releases.
template <class T, CInterface I, class... Args> HRESULT HandOutNew(I** Out, Args&&... A) {
    if (!Out)
        return E_POINTER;
    I* Obj = new T(std::forward<Args>(A)...);
    Obj->AddRef();
    *Out = Obj;
    return S_OK;
}

} // namespace wdx::monitor

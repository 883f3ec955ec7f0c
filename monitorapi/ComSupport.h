#pragma once
// The small object model the monitor uses to reach the relay and the monitor
// server: class and interface identifiers, a status result that carries its
// failure text, reference-counted interfaces with an owning handle, and the
// exception a failed status turns into.
//
// Every member of an outside interface returns a THResult and passes its
// results through out arguments. Callers never look at a failed status
// themselves: ComCheck turns it into an ECOMError on the spot.
//
// Threads: references are free-threaded, as COM's own AddRef and Release are.
// A handle may be copied, passed to another thread and released there while
// other threads hold the same object; the count is atomic and the last
// Release, wherever it happens, frees the object once. The members of an
// implementation are not made safe for calls from two threads at once: an
// object is called by one thread at a time (the exporter's readers each
// create their own objects through the class table).

#include <array>
#include <atomic>
#include <compare>
#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace wdx::monitor {

// A 128-bit class or interface identifier, written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct TGUID {
    std::array<std::uint8_t, 16> Bytes{};

    // Reads the braced form; a malformed text is a compile error in a
    // constant expression and std::invalid_argument otherwise.
    static constexpr TGUID Parse(std::string_view Text) {
        if (Text.size() != 38 || Text.front() != '{' || Text.back() != '}')
            throw std::invalid_argument("malformed identifier");
        TGUID g;
        std::size_t n = 0;
        for (std::size_t i = 1; i + 1 < Text.size();) {
            if (i == 9 || i == 14 || i == 19 || i == 24) {
                if (Text[i] != '-')
                    throw std::invalid_argument("malformed identifier");
                ++i;
                continue;
            }
            g.Bytes[n++] = std::uint8_t(HexDigit(Text[i]) << 4 | HexDigit(Text[i + 1]));
            i += 2;
        }
        return g;
    }

    std::string ToString() const; // braced, upper case

    auto operator<=>(const TGUID&) const = default;

private:
    static constexpr int HexDigit(char C) {
        if (C >= '0' && C <= '9')
            return C - '0';
        if (C >= 'A' && C <= 'F')
            return C - 'A' + 10;
        if (C >= 'a' && C <= 'f')
            return C - 'a' + 10;
        throw std::invalid_argument("malformed identifier");
    }
};

// Status codes worth naming. Negative means failure, as with every status here.
inline constexpr std::int32_t ErrFail = std::int32_t(0x80004005);
inline constexpr std::int32_t ErrNoInterface = std::int32_t(0x80004002);
inline constexpr std::int32_t ErrPointer = std::int32_t(0x80004003);
inline constexpr std::int32_t ErrClassNotRegistered = std::int32_t(0x80040154);

// The result of every interface member: success, or a failure code with the
// text that explains it (empty when the callee gave none).
class [[nodiscard]] THResult {
public:
    THResult() = default; // success

    static THResult Fail(std::u16string Message, std::int32_t Code = ErrFail) {
        THResult r;
        r.FCode = Code < 0 ? Code : ErrFail; // a failure must read as one
        r.FMessage = std::move(Message);
        return r;
    }

    bool Failed() const { return FCode < 0; }
    bool Succeeded() const { return FCode >= 0; }
    std::int32_t Code() const { return FCode; }
    const std::u16string& Message() const { return FMessage; }

private:
    std::int32_t FCode = 0;
    std::u16string FMessage;
};

// The "COM error": one failed interface call. what() is the failure's own
// text (UTF-8); when the callee gave no text it names the code instead, so
// the default error report never shows an empty box.
class ECOMError : public std::runtime_error {
public:
    ECOMError(std::int32_t Code, const std::u16string& Message);
    std::int32_t ErrorCode() const { return FErrorCode; }

private:
    std::int32_t FErrorCode;
};

// Turns a failed status into an ECOMError at once.
inline void ComCheck(const THResult& R) {
    if (R.Failed())
        throw ECOMError(R.Code(), R.Message());
}

// Base of every interface: reference counting and the interface query. An
// object lives as long as it holds references; Release of the last one frees
// it. Objects are never deleted through an interface pointer.
class IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{00000000-0000-0000-C000-000000000046}");

    // On success *Obj holds the interface IID asks for, with one reference
    // counted for the caller.
    virtual THResult QueryInterface(const TGUID& IID, void** Obj) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IComUnknown() = default;
};

// The owning handle of one reference. Copying adds a reference, destroying or
// resetting releases it; "released" in the monitor's code means Reset().
template <class T> class TComPtr {
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

    // Adopts a reference that was already counted for the caller (the out
    // argument of QueryInterface).
    static TComPtr Attach(T* P) noexcept {
        TComPtr r;
        r.FPtr = P;
        return r;
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

template <class T>
concept CHasIID = requires {
    T::IID;
};

// Asks Obj for the interface T (T::IID). A success that hands back nothing
// counts as a failure: the caller must never see an empty interface.
template <CHasIID T> THResult QueryInterface(IComUnknown& Obj, TComPtr<T>& Out) {
    void* p = nullptr;
    THResult r = Obj.QueryInterface(T::IID, &p);
    if (r.Failed())
        return r;
    if (!p)
        return THResult::Fail(u"The object returned no interface.", ErrPointer);
    Out = TComPtr<T>::Attach(static_cast<T*>(p));
    return {};
}

// Reference counting and the interface query for an implementation of one or
// more interfaces (the first one stands for IComUnknown). Create it with MakeCom;
// it frees itself when its last reference is released.
template <class First, class... Rest> class TComObject : public First, public Rest... {
public:
    THResult QueryInterface(const TGUID& IID, void** Obj) override {
        if (!Obj)
            return THResult::Fail(u"No place for the interface.", ErrPointer);
        *Obj = nullptr;
        if (IID == IComUnknown::IID)
            *Obj = static_cast<IComUnknown*>(static_cast<First*>(this));
        else
            (TryInterface<First>(IID, Obj) || ... || TryInterface<Rest>(IID, Obj));
        if (!*Obj)
            return THResult::Fail(u"The object does not support this interface.", ErrNoInterface);
        AddRef();
        return {};
    }
    std::uint32_t AddRef() override { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        // acq_rel: what any thread did to the object happens before the
        // delete on the thread that drops the last reference.
        std::uint32_t left = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    TComObject() = default;
    virtual ~TComObject() = default;
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

private:
    template <class I> bool TryInterface(const TGUID& IID, void** Obj) {
        if constexpr (CHasIID<I>) {
            if (IID == I::IID) {
                *Obj = static_cast<I*>(this);
                return true;
            }
        }
        return false;
    }

    std::atomic<std::uint32_t> FRefCount{0};
};

// Creates an implementation object and hands out its first reference.
template <class T, class... Args> TComPtr<T> MakeCom(Args&&... A) {
    return TComPtr<T>(new T(std::forward<Args>(A)...));
}

} // namespace wdx::monitor

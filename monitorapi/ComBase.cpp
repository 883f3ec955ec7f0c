#include "monitorapi/ComBase.h"

#if !defined(_WIN32)

#include <cstdlib>
#include <cstring>
#include <utility>

// A BSTR points at its first character; the four bytes before it hold the
// length in bytes (without the terminating zero), as on Windows, so that a
// text may hold zero characters of its own.

namespace {
constexpr std::size_t PrefixBytes = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR Text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(Text) - PrefixBytes);
}

// Texts of up to SmallLength characters (names, mostly) take blocks of one
// size, and the last one freed is kept for the next (one a thread): a list
// read a row at a time makes and frees one name after another.
constexpr UINT SmallLength = 64;
constexpr std::size_t SmallBlockBytes = PrefixBytes + (SmallLength + 1) * sizeof(OLECHAR);

struct TSpareBlock {
    void* Block = nullptr;
    ~TSpareBlock() { std::free(Block); }
};
thread_local TSpareBlock Spare;
} // namespace

BSTR SysAllocStringLen(const OLECHAR* Text, UINT Length) {
    // The byte length must fit its 32-bit prefix.
    if (Length > (UINT32_MAX - PrefixBytes - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    const std::size_t Bytes = std::size_t(Length) * sizeof(OLECHAR);
    void* Block = nullptr;
    if (Length <= SmallLength) {
        Block = Spare.Block ? std::exchange(Spare.Block, nullptr) : std::malloc(SmallBlockBytes);
    } else {
        Block = std::malloc(PrefixBytes + Bytes + sizeof(OLECHAR));
    }
    if (!Block)
        return nullptr;
    const std::uint32_t Prefix = std::uint32_t(Bytes);
    std::memcpy(Block, &Prefix, PrefixBytes);
    BSTR Result = reinterpret_cast<BSTR>(static_cast<char*>(Block) + PrefixBytes);
    if (Text && Length)
        std::memcpy(Result, Text, Bytes);
    Result[Length] = 0;
    return Result;
}

BSTR SysAllocString(const OLECHAR* Text) {
    if (!Text)
        return nullptr;
    UINT Length = 0;
    while (Text[Length])
        ++Length;
    return SysAllocStringLen(Text, Length);
}

void SysFreeString(BSTR Text) {
    if (!Text)
        return;
    if (!Spare.Block && SysStringLen(Text) <= SmallLength)
        Spare.Block = PrefixOf(Text);
    else
        std::free(PrefixOf(Text));
}

UINT SysStringLen(BSTR Text) {
    if (!Text)
        return 0;
    std::uint32_t Bytes = 0;
    std::memcpy(&Bytes, PrefixOf(Text), PrefixBytes);
    return UINT(Bytes / sizeof(OLECHAR));
}

#endif

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

// Makes Block a BSTR: the byte length before it, the characters (Text's, if
// given) and a terminating zero.
BSTR Fill(void* Block, const OLECHAR* Text, UINT Length) {
    const std::uint32_t Prefix = std::uint32_t(std::size_t(Length) * sizeof(OLECHAR));
    std::memcpy(Block, &Prefix, PrefixBytes);
    BSTR Result = reinterpret_cast<BSTR>(static_cast<char*>(Block) + PrefixBytes);
    Result[Length] = 0;
    if (Text && Length)
        std::memcpy(Result, Text, Prefix);
    return Result;
}

// A text in a block of its own, when no spare one fits: out of line, so
// that taking the spare block needs nothing saved.
[[gnu::noinline]] BSTR FillNewBlock(const OLECHAR* Text, UINT Length) {
    const std::size_t Bytes = Length <= SmallLength
                                  ? SmallBlockBytes
                                  : PrefixBytes + std::size_t(Length) * sizeof(OLECHAR) + sizeof(OLECHAR);
    void* Block = std::malloc(Bytes);
    return Block ? Fill(Block, Text, Length) : nullptr;
}
} // namespace

BSTR SysAllocStringLen(const OLECHAR* Text, UINT Length) {
    // The byte length must fit its 32-bit prefix.
    if (Length > (UINT32_MAX - PrefixBytes - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    if (Length <= SmallLength) {
        TSpareBlock& Kept = Spare;
        if (Kept.Block)
            return Fill(std::exchange(Kept.Block, nullptr), Text, Length);
    }
    return FillNewBlock(Text, Length);
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
    TSpareBlock& Kept = Spare;
    if (!Kept.Block && SysStringLen(Text) <= SmallLength)
        Kept.Block = PrefixOf(Text);
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

// The program's own allocation functions: what C++ allocates goes to the C
// library as before, with two exceptions for the large blocks a long list
// makes (its answer's body, its records).
//
// A block of 2 MiB or more starts on a large-page boundary and asks the
// system for large pages. Written from its start, such a block then takes
// one page fault for every 2 MiB instead of one for every 4 KiB, and a list
// of 100,000 records takes thousands of faults fewer. Only a hint: where the
// system declines, the block keeps small pages.
//
// When the program asks for it (KeepNextFreedLargeBlock), the next large
// block freed is kept as spare room, and blocks of 256 KiB and more are cut
// from it while they fit: the records of a list then take the pages its
// answer's body held, which are already there, instead of new ones the
// system must first clear (and the body's are not given back to the system
// only to be asked for again). The room is handed out front to back and
// starts again from its front once every block cut from it is freed. Only
// one spare is kept: a larger block freed while it is unused takes its
// place, when asked for too.
//
// Linked into WDXStat only; every block not cut from the spare is freed with
// free(), whichever way it was made.

#include "tools/platform/Platform.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

constexpr std::size_t LargePage = std::size_t{2} << 20;
// Smaller blocks are left as the C library makes them: a large page for a
// block of a few hundred kilobytes would mostly stay unused.
constexpr std::size_t LargeBlock = LargePage;
// Blocks from this size on are cut from the spare room when they fit.
constexpr std::size_t SpareBlock = std::size_t{256} << 10;
// Blocks cut from the spare start on this boundary, or a larger one asked for.
constexpr std::size_t SpareAlign = 64;
constexpr std::size_t PlainAlign = alignof(std::max_align_t);

struct TSpare {
    std::uintptr_t Base = 0; // 0: none
    std::size_t Size = 0;
    std::size_t Used = 0; // the room up to here may be in use
    std::size_t Live = 0; // blocks cut from it and not yet freed
};

std::mutex GSpareLock;
TSpare GSpare;
bool GKeepNext = false; // the next large block freed becomes the spare

bool InSpare(std::uintptr_t At) {
    return GSpare.Base != 0 && At >= GSpare.Base && At - GSpare.Base < GSpare.Size;
}

// A block cut from the spare room; null when none is kept or too little is
// left of it.
void* FromSpare(std::size_t Bytes, std::size_t Align) {
    std::lock_guard Lock(GSpareLock);
    if (GSpare.Base == 0)
        return nullptr;
    const std::uintptr_t At = (GSpare.Base + GSpare.Used + Align - 1) & ~(std::uintptr_t{Align} - 1);
    const std::size_t From = At - GSpare.Base;
    if (From > GSpare.Size || GSpare.Size - From < Bytes)
        return nullptr;
    GSpare.Used = From + Bytes;
    ++GSpare.Live;
    return reinterpret_cast<void*>(At);
}

// Takes Block back: true when it was cut from the spare or has become the
// spare; false when it is the caller's to free.
bool ToSpare(void* Block) {
    const auto At = reinterpret_cast<std::uintptr_t>(Block);
    std::lock_guard Lock(GSpareLock);
    if (InSpare(At)) {
        if (--GSpare.Live == 0)
            GSpare.Used = 0;
        return true;
    }
    if (!GKeepNext || GSpare.Live > 0)
        return false;
    const std::size_t Size = malloc_usable_size(Block);
    if (Size < LargeBlock || Size <= GSpare.Size)
        return false;
    if (GSpare.Base != 0)
        std::free(reinterpret_cast<void*>(GSpare.Base));
    GSpare = TSpare{At, Size, 0, 0};
    GKeepNext = false;
    return true;
}

void* Allocate(std::size_t Bytes, std::size_t Align) {
    if (Bytes >= SpareBlock)
        if (void* Block = FromSpare(Bytes, Align > SpareAlign ? Align : SpareAlign))
            return Block;
    for (;;) {
        void* Block = nullptr;
        if (Bytes >= LargeBlock) {
#if defined(MADV_HUGEPAGE)
            // Not rounded up to whole large pages: the last one would count
            // in full towards the memory the process holds.
            if (posix_memalign(&Block, Align > LargePage ? Align : LargePage, Bytes) == 0) {
                madvise(Block, Bytes & ~(LargePage - 1), MADV_HUGEPAGE);
                return Block;
            }
            Block = nullptr;
#endif
        }
        if (Align > PlainAlign) {
            if (posix_memalign(&Block, Align, Bytes ? Bytes : 1) != 0)
                Block = nullptr;
        } else {
            Block = std::malloc(Bytes ? Bytes : 1);
        }
        if (Block)
            return Block;
        std::new_handler Handler = std::get_new_handler();
        if (!Handler)
            throw std::bad_alloc();
        Handler();
    }
}

void* AllocateOrNull(std::size_t Bytes, std::size_t Align) noexcept {
    try {
        return Allocate(Bytes, Align);
    } catch (...) {
        return nullptr;
    }
}

// Bytes: the block's size, 0 when not known. A block known to be smaller
// than the spare's blocks was not cut from it, nor can it become it.
void Release(void* Block, std::size_t Bytes) noexcept {
    if (!Block)
        return;
    if ((Bytes == 0 || Bytes >= SpareBlock) && ToSpare(Block))
        return;
    std::free(Block);
}

std::size_t Alignment(std::align_val_t Align) {
    return static_cast<std::size_t>(Align);
}

} // namespace

void wdx::tools::platform::KeepNextFreedLargeBlock(bool Keep) {
    std::lock_guard Lock(GSpareLock);
    GKeepNext = Keep;
}

void* operator new(std::size_t Bytes) {
    return Allocate(Bytes, PlainAlign);
}
void* operator new[](std::size_t Bytes) {
    return Allocate(Bytes, PlainAlign);
}
void* operator new(std::size_t Bytes, const std::nothrow_t&) noexcept {
    return AllocateOrNull(Bytes, PlainAlign);
}
void* operator new[](std::size_t Bytes, const std::nothrow_t&) noexcept {
    return AllocateOrNull(Bytes, PlainAlign);
}
void* operator new(std::size_t Bytes, std::align_val_t Align) {
    return Allocate(Bytes, Alignment(Align));
}
void* operator new[](std::size_t Bytes, std::align_val_t Align) {
    return Allocate(Bytes, Alignment(Align));
}
void* operator new(std::size_t Bytes, std::align_val_t Align, const std::nothrow_t&) noexcept {
    return AllocateOrNull(Bytes, Alignment(Align));
}
void* operator new[](std::size_t Bytes, std::align_val_t Align, const std::nothrow_t&) noexcept {
    return AllocateOrNull(Bytes, Alignment(Align));
}

void operator delete(void* Block) noexcept {
    Release(Block, 0);
}
void operator delete[](void* Block) noexcept {
    Release(Block, 0);
}
void operator delete(void* Block, std::size_t Bytes) noexcept {
    Release(Block, Bytes);
}
void operator delete[](void* Block, std::size_t Bytes) noexcept {
    Release(Block, Bytes);
}
void operator delete(void* Block, const std::nothrow_t&) noexcept {
    Release(Block, 0);
}
void operator delete[](void* Block, const std::nothrow_t&) noexcept {
    Release(Block, 0);
}
void operator delete(void* Block, std::align_val_t) noexcept {
    Release(Block, 0);
}
void operator delete[](void* Block, std::align_val_t) noexcept {
    Release(Block, 0);
}
void operator delete(void* Block, std::size_t Bytes, std::align_val_t) noexcept {
    Release(Block, Bytes);
}
void operator delete[](void* Block, std::size_t Bytes, std::align_val_t) noexcept {
    Release(Block, Bytes);
}
void operator delete(void* Block, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(Block, 0);
}
void operator delete[](void* Block, std::align_val_t, const std::nothrow_t&) noexcept {
    Release(Block, 0);
}

// WDXStat's allocation functions, linked into this test in the same way:
// every block of the test (and of the test framework) goes through them.

#include "tools/platform/Platform.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr std::size_t KiB = 1024, MiB = 1024 * KiB;

// The room of a large block freed when asked to be kept: the spare, provided
// no block cut from an earlier spare is still in use and it is larger than
// any kept before it (each test frees a larger one than the last).
struct TRoom {
    std::uintptr_t From = 0, To = 0;
    bool Holds(const void* P, std::size_t Bytes) const {
        const auto At = reinterpret_cast<std::uintptr_t>(P);
        return At >= From && At + Bytes <= To;
    }
};
// A size larger than any block made here before.
std::size_t LargerThanBefore() {
    static std::size_t Largest = 8 * MiB;
    return Largest += 2 * MiB;
}
// The room of a block of Bytes, written and freed, asked to be kept or not.
TRoom FreedBlock(std::size_t Bytes, bool Keep) {
    char* Block = new char[Bytes];
    std::memset(Block, 0x5a, Bytes);
    const TRoom Room{reinterpret_cast<std::uintptr_t>(Block),
                     reinterpret_cast<std::uintptr_t>(Block) + Bytes};
    wdx::tools::platform::KeepNextFreedLargeBlock(Keep);
    delete[] Block;
    return Room;
}
TRoom FreedLargeBlock() {
    return FreedBlock(LargerThanBefore(), true);
}

TEST(LargeBlocks, AFreedLargeBlocksRoomIsHandedToLaterLargeBlocks) {
    const TRoom Room = FreedLargeBlock();
    // Blocks of 256 KiB and more are cut from it, one after the other, each
    // on its own bytes; smaller ones are not.
    std::vector<std::pair<char*, std::size_t>> Blocks;
    for (std::size_t Bytes : {256 * KiB, 1 * MiB, 300 * KiB + 7, 2 * MiB})
        Blocks.emplace_back(new char[Bytes], Bytes);
    char* Small = new char[64 * KiB];
    EXPECT_FALSE(Room.Holds(Small, 1));
    for (std::size_t I = 0; I < Blocks.size(); ++I) {
        EXPECT_TRUE(Room.Holds(Blocks[I].first, Blocks[I].second)) << I;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Blocks[I].first) % 64, 0u) << I;
        std::memset(Blocks[I].first, static_cast<int>(I + 1), Blocks[I].second);
    }
    for (std::size_t I = 0; I < Blocks.size(); ++I) {
        const auto& [Block, Bytes] = Blocks[I];
        EXPECT_EQ(Block[0], static_cast<char>(I + 1)) << I;
        EXPECT_EQ(Block[Bytes - 1], static_cast<char>(I + 1)) << I;
    }
    // A block larger than what is left is made elsewhere.
    char* Beyond = new char[Room.To - Room.From];
    EXPECT_FALSE(Room.Holds(Beyond, 1));
    delete[] Beyond;
    delete[] Small;
    for (auto& [Block, Bytes] : Blocks)
        delete[] Block;
}

TEST(LargeBlocks, TheRoomStartsAgainOnceEveryBlockCutFromItIsFreed) {
    const TRoom Room = FreedLargeBlock();
    auto* First = static_cast<char*>(::operator new(512 * KiB));
    auto* Second = static_cast<char*>(::operator new(512 * KiB));
    ASSERT_TRUE(Room.Holds(First, 512 * KiB));
    ASSERT_TRUE(Room.Holds(Second, 512 * KiB));
    // Freed without its size, then with it: the room is still in use until
    // the second is freed too.
    const auto FirstAt = reinterpret_cast<std::uintptr_t>(First);
    ::operator delete(First);
    auto* Third = static_cast<char*>(::operator new(512 * KiB));
    EXPECT_NE(reinterpret_cast<std::uintptr_t>(Third), FirstAt);
    EXPECT_TRUE(Room.Holds(Third, 512 * KiB));
    ::operator delete(Second, 512 * KiB);
    ::operator delete(Third, 512 * KiB);
    auto* Again = static_cast<char*>(::operator new(512 * KiB));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Again), FirstAt);
    ::operator delete(Again);
}

TEST(LargeBlocks, AskedAlignmentsAreKept) {
    const TRoom Room = FreedLargeBlock();
    void* Odd = ::operator new(300 * KiB + 3);
    for (std::size_t Align : {std::size_t{4096}, 2 * MiB}) {
        void* Block = ::operator new (512 * KiB, std::align_val_t{Align});
        EXPECT_TRUE(Room.Holds(Block, 512 * KiB)) << Align;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Block) % Align, 0u) << Align;
        ::operator delete (Block, std::align_val_t{Align});
    }
    // And outside the room, small and large.
    for (std::size_t Align : {std::size_t{256}, std::size_t{4096}}) {
        void* Block = ::operator new (100, std::align_val_t{Align});
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Block) % Align, 0u) << Align;
        ::operator delete (Block, 100, std::align_val_t{Align});
    }
    ::operator delete(Odd);
}

TEST(LargeBlocks, ABlockFreedWhileTheRoomIsInUseIsNotKept) {
    const TRoom Room = FreedLargeBlock();
    void* InRoom = ::operator new(1 * MiB);
    ASSERT_TRUE(Room.Holds(InRoom, 1 * MiB));
    // A still larger block freed now goes back to the system, though asked
    // to be kept; the room keeps serving.
    const TRoom LargerRoom = FreedBlock(Room.To - Room.From + 4 * MiB, true);
    void* Next = ::operator new(1 * MiB);
    EXPECT_TRUE(Room.Holds(Next, 1 * MiB));
    EXPECT_FALSE(LargerRoom.Holds(Next, 1));
    ::operator delete(Next);
    ::operator delete(InRoom);
    wdx::tools::platform::KeepNextFreedLargeBlock(false);
}

TEST(LargeBlocks, OnlyABlockAskedToBeKeptIsKept) {
    const TRoom Room = FreedLargeBlock();
    // Larger than the spare, and unused: it would take the spare's place,
    // were it asked to be kept; it is not.
    const TRoom LargerRoom = FreedBlock(Room.To - Room.From + 4 * MiB, false);
    void* Next = ::operator new(1 * MiB);
    EXPECT_TRUE(Room.Holds(Next, 1 * MiB));
    EXPECT_FALSE(LargerRoom.Holds(Next, 1));
    ::operator delete(Next);
    // Asked for, the next one is kept (and only the next one).
    const TRoom KeptRoom = FreedBlock(LargerThanBefore(), true);
    void* InKept = ::operator new(1 * MiB);
    EXPECT_TRUE(KeptRoom.Holds(InKept, 1 * MiB));
    ::operator delete(InKept);
}

TEST(LargeBlocks, NothrowAndZeroSizedBlocks) {
    void* Zero = ::operator new(0);
    void* Other = ::operator new(0);
    EXPECT_NE(Zero, nullptr);
    EXPECT_NE(Zero, Other);
    ::operator delete(Zero);
    ::operator delete(Other);
    // More than any system gives: null, not an exception.
    EXPECT_EQ(::operator new (std::size_t{1} << 62, std::nothrow), nullptr);
    EXPECT_THROW(static_cast<void>(::operator new (std::size_t{1} << 62)), std::bad_alloc);
}

} // namespace

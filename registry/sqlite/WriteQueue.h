#pragma once
// Internal: the line in which the writers of one store file wait for their
// turn, so that every waiting writer gets it in the order it came.
//
// SQLite's own write lock can only be polled: a writer that saves in a loop
// takes it again within microseconds of letting it go, and the others, who
// look every few milliseconds, may never see it free. So before a write
// transaction starts, a writer takes its turn from a queue shared by all
// processes: a robust, process-shared, priority-inheriting mutex in a small
// file beside the store ("<store>.lock"). The kernel hands such a mutex
// straight to the writer that has waited longest, so nobody can take it out
// of turn, and releases it when its holder dies.
//
// The queue only decides the order. What keeps writers apart is still
// SQLite's lock: a writer that does not use the queue (another program, an
// older build) is waited for as before, and when the lock file cannot be used
// (no right to create it, another user's or another boot's file, another PID
// namespace) writers go without a turn and just poll SQLite's lock.

#include "registry/Registry.h"

#include <memory>
#include <string>

namespace wdx::registry::detail {

struct TQueueFile;

// This thread's turn to write one store file, for as long as it lives.
class TWriteTurn {
public:
    TWriteTurn() = default;
    ~TWriteTurn() { Release(); }
    TWriteTurn(const TWriteTurn&) = delete;
    TWriteTurn& operator=(const TWriteTurn&) = delete;

    // Waits in line for the turn to write StorePath. The wait ends with Busy
    // only when one other writer has held the turn for the whole busy
    // time-out (while the line moves, it goes on). True without a turn when
    // the queue cannot be used.
    bool Take(const std::string& StorePath, TRegError& Error, std::string& Text);
    void Release();
    bool Held() const { return FHeld; }

private:
    std::shared_ptr<TQueueFile> FQueue;
    bool FHeld = false;
};

} // namespace wdx::registry::detail

#pragma once
// The simulator's task queue for its HTTP library: every connection is
// served on a thread of its own, up to a cap, so that connections that sit
// idle or send their request a byte at a time hold only their own thread and
// never keep a good request waiting. Threads are made when connections
// arrive, kept for the next ones while busy, and end after a few idle
// seconds, so that a flood leaves no threads behind. Beyond the cap,
// connections wait for a thread in arrival order.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace wdx::brokersim {

class TConnectionThreads : public httplib::TaskQueue {
public:
    explicit TConnectionThreads(std::size_t MaxThreads,
                                std::chrono::milliseconds IdleEnd = std::chrono::milliseconds(3000));
    ~TConnectionThreads() override;

    void enqueue(std::function<void()> Task) override;
    // Serves what was queued, then ends and joins every thread.
    void shutdown() override;

    // Threads alive and connections waiting for one, for tests.
    std::size_t Threads() const;
    std::size_t Waiting() const;

private:
    void Work(std::list<std::thread>::iterator Self);
    void ReapEnded(std::unique_lock<std::mutex>& Lock);

    const std::size_t FMax;
    const std::chrono::milliseconds FIdleEnd;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FTasks;
    std::list<std::thread> FThreads;
    std::vector<std::list<std::thread>::iterator> FEnded; // returned, not yet joined
    std::size_t FIdle = 0;
    bool FStopping = false;
};

} // namespace wdx::brokersim

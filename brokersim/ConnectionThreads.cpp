#include "brokersim/ConnectionThreads.h"

namespace wdx::brokersim {

TConnectionThreads::TConnectionThreads(std::size_t MaxThreads, std::chrono::milliseconds IdleEnd)
    : FMax(std::max<std::size_t>(1, MaxThreads)), FIdleEnd(IdleEnd) {}

TConnectionThreads::~TConnectionThreads() {
    shutdown();
}

void TConnectionThreads::enqueue(std::function<void()> Task) {
    std::unique_lock lock(FLock);
    ReapEnded(lock);
    FTasks.push_back(std::move(Task));
    // An idle thread takes it; else a new one, unless the cap is reached
    // (then it waits for the first thread to become free).
    if (FIdle >= FTasks.size()) {
        FWake.notify_one();
        return;
    }
    if (FThreads.size() - FEnded.size() >= FMax)
        return;
    FThreads.emplace_back();
    auto self = std::prev(FThreads.end());
    try {
        *self = std::thread([this, self] { Work(self); });
    } catch (const std::system_error&) {
        // No thread to be had (the system's limit): the task waits for a
        // running one.
        FThreads.erase(self);
    }
}

void TConnectionThreads::Work(std::list<std::thread>::iterator Self) {
    std::unique_lock lock(FLock);
    while (true) {
        if (FTasks.empty()) {
            if (FStopping)
                break;
            ++FIdle;
            bool woken = FWake.wait_for(lock, FIdleEnd, [this] { return !FTasks.empty() || FStopping; });
            --FIdle;
            if (!woken)
                break; // idle long enough: end, the next flood makes new ones
            continue;
        }
        std::function<void()> task = std::move(FTasks.front());
        FTasks.pop_front();
        lock.unlock();
        task();
        task = nullptr; // the connection's state goes with it, before the lock
        lock.lock();
    }
    if (!FStopping)
        FEnded.push_back(Self);
}

void TConnectionThreads::ReapEnded(std::unique_lock<std::mutex>& Lock) {
    // Threads that returned are joined outside the lock (joining a thread
    // that has left its loop takes no time, but it must not wait on us).
    std::vector<std::thread> ended;
    for (auto it : FEnded) {
        ended.push_back(std::move(*it));
        FThreads.erase(it);
    }
    FEnded.clear();
    if (ended.empty())
        return;
    Lock.unlock();
    for (auto& t : ended)
        t.join();
    Lock.lock();
}

void TConnectionThreads::shutdown() {
    std::list<std::thread> all;
    {
        std::unique_lock lock(FLock);
        FStopping = true;
        FWake.notify_all();
        all.swap(FThreads);
        FEnded.clear();
    }
    for (auto& t : all)
        if (t.joinable())
            t.join();
}

std::size_t TConnectionThreads::Threads() const {
    std::lock_guard lock(FLock);
    return FThreads.size() - FEnded.size();
}

std::size_t TConnectionThreads::Waiting() const {
    std::lock_guard lock(FLock);
    return FTasks.size() > FIdle ? FTasks.size() - FIdle : 0;
}

} // namespace wdx::brokersim

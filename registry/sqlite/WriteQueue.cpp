#include "registry/sqlite/WriteQueue.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace wdx::registry::detail {

namespace {

constexpr std::uint32_t QueueMagic = 0x57445851; // 'WDXQ'
constexpr std::uint32_t QueueLayout = 1;
constexpr size_t MapSize = 4096;

// The lock file's content. Only this machine's processes of this boot share
// it: the mutex holds kernel thread ids.
struct TShared {
    std::uint32_t Magic;
    std::uint32_t Layout;
    std::uint64_t PidNs;
    char BootId[40];
    pthread_mutex_t Turn;
    alignas(8) std::int64_t TurnSince; // CLOCK_MONOTONIC ns when the turn last changed hands
    alignas(8) std::uint64_t Turns;    // hand-overs so far
};
static_assert(sizeof(TShared) <= MapSize);

} // namespace

struct TQueueFile {
    std::string Path;
    dev_t Dev = 0;
    ino_t Ino = 0;
    TShared* Shared = nullptr;
    ~TQueueFile() {
        if (Shared)
            munmap(Shared, MapSize);
    }
};

namespace {

std::int64_t MonoNs() {
    timespec T{};
    clock_gettime(CLOCK_MONOTONIC, &T);
    return static_cast<std::int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec;
}

const std::string& BootId() {
    static const std::string Id = [] {
        std::ifstream In("/proc/sys/kernel/random/boot_id");
        std::string S;
        std::getline(In, S);
        return S.substr(0, 39);
    }();
    return Id;
}

std::uint64_t PidNs() {
    struct stat St {};
    return stat("/proc/self/ns/pid", &St) == 0 ? St.st_ino : 0;
}

std::atomic_ref<std::int64_t> Since(TShared& S) {
    return std::atomic_ref<std::int64_t>(S.TurnSince);
}
std::atomic_ref<std::uint64_t> Turns(TShared& S) {
    return std::atomic_ref<std::uint64_t>(S.Turns);
}

bool InitMutex(pthread_mutex_t& M) {
    pthread_mutexattr_t A;
    if (pthread_mutexattr_init(&A) != 0)
        return false;
    bool Ok = pthread_mutexattr_setpshared(&A, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&A, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutexattr_setprotocol(&A, PTHREAD_PRIO_INHERIT) == 0 &&
              pthread_mutexattr_settype(&A, PTHREAD_MUTEX_ERRORCHECK) == 0 && pthread_mutex_init(&M, &A) == 0;
    pthread_mutexattr_destroy(&A);
    return Ok;
}

// The file's lock, for setting the queue up; held for microseconds only, so
// a short bounded wait is enough.
bool LockForSetup(int Fd) {
    for (int I = 0; I < 100; ++I) {
        if (flock(Fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Maps the lock file of a store, setting the queue up when the file is new,
// was left by another boot, or holds something else. Null when it cannot be
// used: not ours (a file of another user is not trusted with our mutex), not
// creatable, or set up from another PID namespace.
std::shared_ptr<TQueueFile> OpenQueue(const std::string& LockPath) {
    int Fd = open(LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (Fd < 0 && errno == ENOENT) {
        std::error_code Ec;
        std::filesystem::create_directories(std::filesystem::path(LockPath).parent_path(), Ec);
        Fd = open(LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    }
    if (Fd < 0)
        return nullptr;
    auto Q = std::make_shared<TQueueFile>();
    Q->Path = LockPath;
    struct stat St {};
    bool Ok = fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && St.st_uid == geteuid() && LockForSetup(Fd);
    if (Ok) {
        Q->Dev = St.st_dev;
        Q->Ino = St.st_ino;
        Ok = (St.st_size >= static_cast<off_t>(MapSize) || ftruncate(Fd, MapSize) == 0);
    }
    void* Map = Ok ? mmap(nullptr, MapSize, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0) : MAP_FAILED;
    if (Map != MAP_FAILED) {
        Q->Shared = static_cast<TShared*>(Map);
        TShared& S = *Q->Shared;
        const std::string& Boot = BootId();
        if (S.Magic != QueueMagic || S.Layout != QueueLayout ||
            Boot != std::string(S.BootId, strnlen(S.BootId, sizeof S.BootId))) {
            std::memset(&S, 0, sizeof S);
            std::memcpy(S.BootId, Boot.data(), Boot.size());
            S.Layout = QueueLayout;
            S.PidNs = PidNs();
            Ok = InitMutex(S.Turn);
            std::atomic_thread_fence(std::memory_order_release);
            if (Ok)
                S.Magic = QueueMagic;
        }
        Ok = Ok && S.PidNs == PidNs();
    } else {
        Ok = false;
    }
    flock(Fd, LOCK_UN);
    close(Fd);
    return Ok ? Q : nullptr;
}

std::mutex GQueuesLock;
std::vector<std::shared_ptr<TQueueFile>> GQueues;

// The queue of the store at StorePath, mapped once per process and mapped
// anew when the lock file was replaced.
std::shared_ptr<TQueueFile> QueueFor(const std::string& StorePath) {
    std::string LockPath = StorePath + ".lock";
    struct stat St {};
    bool Exists = stat(LockPath.c_str(), &St) == 0;
    std::lock_guard<std::mutex> G(GQueuesLock);
    for (auto It = GQueues.begin(); It != GQueues.end(); ++It) {
        if ((*It)->Path != LockPath)
            continue;
        if (Exists && (*It)->Dev == St.st_dev && (*It)->Ino == St.st_ino)
            return *It;
        GQueues.erase(It); // holders keep their own reference
        break;
    }
    auto Q = OpenQueue(LockPath);
    if (Q) {
        if (GQueues.size() >= 8)
            GQueues.erase(GQueues.begin());
        GQueues.push_back(Q);
    }
    return Q;
}

timespec RealtimeIn(std::int64_t Ns) {
    timespec T{};
    clock_gettime(CLOCK_REALTIME, &T);
    std::int64_t All =
        static_cast<std::int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec + std::max<std::int64_t>(0, Ns);
    T.tv_sec = static_cast<time_t>(All / 1000000000);
    T.tv_nsec = static_cast<long>(All % 1000000000);
    return T;
}

} // namespace

bool TWriteTurn::Take(const std::string& StorePath, TRegError& Error, std::string& Text) {
    Release();
    FQueue = QueueFor(StorePath);
    if (!FQueue)
        return true;
    TShared& S = *FQueue->Shared;
    const std::int64_t Timeout = BusyTimeout().count() * 1000000;
    const std::int64_t Start = MonoNs();
    for (;;) {
        std::uint64_t Seen = Turns(S).load();
        // The time-out runs from when we began to wait or the turn last
        // changed hands, whichever is later.
        std::int64_t Deadline = std::max(Start, Since(S).load()) + Timeout;
        timespec Until = RealtimeIn(Deadline - MonoNs());
        int Rc = pthread_mutex_timedlock(&S.Turn, &Until);
        if (Rc == EOWNERDEAD) // its holder died; SQLite rolls its write back
            Rc = pthread_mutex_consistent(&S.Turn);
        if (Rc == 0) {
            FHeld = true;
            Since(S).store(MonoNs());
            Turns(S).fetch_add(1);
            return true;
        }
        if (Rc == ETIMEDOUT && Turns(S).load() != Seen)
            continue;
        if (Rc == ETIMEDOUT) {
            Error = TRegError::Busy;
            Text = "cannot lock the store for writing: another program has been writing it for more than " +
                   std::to_string(BusyTimeout().count()) + " ms (" + StorePath + ")";
            FQueue.reset();
            return false;
        }
        if (Rc == EDEADLK) {
            Error = TRegError::Busy;
            Text = "cannot lock the store for writing: this thread is writing it already (" + StorePath + ")";
            FQueue.reset();
            return false;
        }
        // ENOTRECOVERABLE or anything unexpected: go without the queue.
        FQueue.reset();
        return true;
    }
}

void TWriteTurn::Release() {
    if (FHeld) {
        TShared& S = *FQueue->Shared;
        Since(S).store(MonoNs());
        Turns(S).fetch_add(1);
        pthread_mutex_unlock(&S.Turn);
        FHeld = false;
    }
    FQueue.reset();
}

} // namespace wdx::registry::detail

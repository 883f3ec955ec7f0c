// Several processes on one store file: no update is lost, and a process
// killed while writing leaves every acknowledged write and a sound file.

#include "registry/Registry.h"
#include "support/IntegrityCheck.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace wdx::registry;
using Clock = std::chrono::steady_clock;

namespace {

// A worker process; killed if the test leaves it running.
class TWorker {
public:
    explicit TWorker(std::vector<std::string> Args) {
        int Pipe[2];
        if (pipe(Pipe) != 0)
            return;
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
        Args.insert(Args.begin(), WDX_STORE_WORKER);
        std::vector<char*> Argv;
        for (auto& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        if (posix_spawn(&FPid, WDX_STORE_WORKER, &Actions, nullptr, Argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&Actions);
        close(Pipe[1]);
        FOut = Pipe[0];
    }
    ~TWorker() {
        if (FPid > 0 && !FDone) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        if (FOut >= 0)
            close(FOut);
    }
    bool Started() const { return FPid > 0; }

    // Waits for the exit, at most until Deadline; -1 on time-out or a signal.
    int Wait(Clock::time_point Deadline) {
        int Status = 0;
        while (waitpid(FPid, &Status, WNOHANG) == 0) {
            if (Clock::now() > Deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        FDone = true;
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }

    void Kill9() {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FDone = true;
    }

    // Reads what the worker printed so far (waiting up to Ms for something)
    // and returns the last complete number, or the previous one.
    long LastAck(int Ms) {
        pollfd P{FOut, POLLIN, 0};
        while (poll(&P, 1, Ms) > 0) {
            char Buf[4096];
            ssize_t N = read(FOut, Buf, sizeof Buf);
            if (N <= 0)
                break;
            FPending.append(Buf, static_cast<size_t>(N));
            Ms = 0;
        }
        size_t End;
        while ((End = FPending.find('\n')) != std::string::npos) {
            FLast = std::stol(FPending.substr(0, End));
            FPending.erase(0, End + 1);
        }
        return FLast;
    }

    // Waits up to Ms for the worker to print Line.
    bool WaitFor(const std::string& Line, int Ms) {
        auto Deadline = Clock::now() + std::chrono::milliseconds(Ms);
        while (FPending.find(Line + "\n") == std::string::npos) {
            int Left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count());
            pollfd P{FOut, POLLIN, 0};
            if (Left <= 0 || poll(&P, 1, Left) <= 0)
                return false;
            char Buf[256];
            ssize_t N = read(FOut, Buf, sizeof Buf);
            if (N <= 0)
                return false;
            FPending.append(Buf, static_cast<size_t>(N));
        }
        return true;
    }

private:
    pid_t FPid = -1;
    int FOut = -1;
    bool FDone = false;
    std::string FPending;
    long FLast = -1;
};

using wdx::testsupport::IntegrityCheck;

} // namespace

TEST(StoreProcessTest, ConcurrentReadModifyWriteLosesNoUpdate) {
    wdx::testsupport::TTempStore Store;
    const int Workers = 4, Rounds = 60;
    std::vector<std::unique_ptr<TWorker>> All;
    for (int I = 0; I < Workers; ++I) {
        All.push_back(std::make_unique<TWorker>(std::vector<std::string>{"count", std::to_string(Rounds)}));
        ASSERT_TRUE(All.back()->Started());
    }
    // This process reads alongside them.
    auto Deadline = Clock::now() + std::chrono::seconds(90);
    std::int32_t Seen = 0;
    for (int I = 0; I < 50; ++I) {
        std::int32_t Now = 0;
        TRegError Err = TRegError::None;
        if (ReadInt32(TRegRoot::User, "Race", "Counter", Now, &Err)) {
            EXPECT_GE(Now, Seen);
            Seen = Now;
        } else {
            EXPECT_EQ(Err, TRegError::NotFound) << ErrorName(Err);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& W : All)
        EXPECT_EQ(W->Wait(Deadline), 0);
    std::int32_t Final = 0;
    TRegError Err = TRegError::None;
    ASSERT_TRUE(ReadInt32(TRegRoot::User, "Race", "Counter", Final, &Err)) << ErrorName(Err);
    EXPECT_EQ(Final, Workers * Rounds);
    ReleaseCachedConnections();
    EXPECT_EQ(IntegrityCheck(Store.UserPath()), "ok");
}

TEST(StoreProcessTest, KillDuringWritesKeepsEveryAcknowledgedWrite) {
    wdx::testsupport::TTempStore Store;
    std::map<std::string, long> Acked;
    for (int Round = 0; Round < 3; ++Round) {
        std::vector<std::pair<std::string, std::unique_ptr<TWorker>>> All;
        for (const char* Tag : {"A", "B"}) {
            std::string T = std::string(Tag) + std::to_string(Round);
            All.emplace_back(T, std::make_unique<TWorker>(std::vector<std::string>{"ack", T, "3000"}));
            ASSERT_TRUE(All.back().second->Started());
        }
        // Let both get going, then kill them at some moment mid-stream.
        auto Deadline = Clock::now() + std::chrono::seconds(30);
        for (auto& [Tag, W] : All)
            while (W->LastAck(50) < 10 + Round * 7 && Clock::now() < Deadline) {
            }
        for (auto& [Tag, W] : All) {
            W->Kill9();
            Acked[Tag] = W->LastAck(0);
            EXPECT_GE(Acked[Tag], 10) << Tag << " did not get going";
        }
        EXPECT_EQ(IntegrityCheck(Store.UserPath()), "ok") << "round " << Round;
    }
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Read);
    ASSERT_TRUE(Tx.Ok()) << Tx.ErrorText();
    for (auto& [Tag, Last] : Acked) {
        TRegKey Key;
        ASSERT_TRUE(Tx.OpenKey("Kill\\" + Tag, Key));
        for (long I = 0; I <= Last; ++I) {
            std::string Text;
            ASSERT_TRUE(Key.ReadText(Tag + "-" + std::to_string(I), Text)) << Tag << " " << I;
            EXPECT_EQ(Text, std::string(3000, static_cast<char>('a' + I % 26)));
        }
    }
}

// Readers and writers that meet a store file while it is being created must
// never take it for a foreign file.
TEST(StoreProcessTest, NewFileOpenedByManyAtOnceIsNeverDamaged) {
    wdx::testsupport::TTempStore Store;
    for (int Round = 0; Round < 12; ++Round) {
        std::string File = Store.Dir() + "/new" + std::to_string(Round) + ".sqlite";
        setenv("WDX_USER_STORE", File.c_str(), 1);
        timespec Now{};
        clock_gettime(CLOCK_REALTIME, &Now);
        long long At = (Now.tv_sec + 0) * 1000000000LL + Now.tv_nsec + 150000000LL;
        std::vector<std::unique_ptr<TWorker>> All;
        for (int I = 0; I < 6; ++I) {
            All.push_back(std::make_unique<TWorker>(
                std::vector<std::string>{"first", I % 2 ? "read" : "write", std::to_string(At)}));
            ASSERT_TRUE(All.back()->Started());
        }
        auto Deadline = Clock::now() + std::chrono::seconds(30);
        for (auto& W : All)
            EXPECT_EQ(W->Wait(Deadline), 0) << "round " << Round;
        std::vector<std::string> Names;
        ASSERT_TRUE(ListSubKeys(TRegRoot::User, "", Names));
        EXPECT_EQ(Names, std::vector<std::string>{"First"});
    }
    setenv("WDX_USER_STORE", Store.UserPath().c_str(), 1);
}

// The busy time-out is how long one other writer may keep the store: a
// holder past it makes the write fail, writers that each hold it a shorter
// time are waited for however long the line before us is.
TEST(StoreProcessTest, BusyOnlyWhenOneWriterHoldsTheStoreThatLong) {
    wdx::testsupport::TTempStore Store;
    ASSERT_TRUE(WriteText(TRegRoot::User, "K", "V", "before"));
    SetBusyTimeout(std::chrono::milliseconds(400));
    {
        TWorker Holder({"hold", "2500"});
        ASSERT_TRUE(Holder.WaitFor("held", 10000));
        auto Start = Clock::now();
        TRegError Err = TRegError::None;
        EXPECT_FALSE(WriteText(TRegRoot::User, "K", "V", "during", &Err));
        auto Waited = Clock::now() - Start;
        EXPECT_EQ(Err, TRegError::Busy) << ErrorName(Err);
        EXPECT_GE(Waited, std::chrono::milliseconds(380));
        EXPECT_LT(Waited, std::chrono::milliseconds(2400));
        EXPECT_EQ(Holder.Wait(Clock::now() + std::chrono::seconds(20)), 0);
    }
    {
        // Three writers queued before us, each inside the time-out, together
        // well past it.
        SetBusyTimeout(std::chrono::milliseconds(500));
        std::vector<std::unique_ptr<TWorker>> Line;
        Line.push_back(std::make_unique<TWorker>(std::vector<std::string>{"hold", "700", "10000"}));
        ASSERT_TRUE(Line[0]->WaitFor("held", 10000));
        for (int I = 0; I < 2; ++I)
            Line.push_back(std::make_unique<TWorker>(std::vector<std::string>{"hold", "400", "10000"}));
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        TRegError Err = TRegError::None;
        EXPECT_TRUE(WriteText(TRegRoot::User, "K", "V", "after", &Err)) << ErrorName(Err);
        for (auto& W : Line)
            EXPECT_EQ(W->Wait(Clock::now() + std::chrono::seconds(20)), 0);
    }
    SetBusyTimeout(std::chrono::seconds(5));
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "K", "V", Text));
    EXPECT_EQ(Text, "after");
}

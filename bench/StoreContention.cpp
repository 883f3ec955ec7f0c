// Writers under contention: W processes each run R read-modify-write
// transactions (read a counter, write it back plus one) on one store file that
// does not exist when they start, beside B processes that only burn CPU. Then
// the same with one writer alone, the same burners beside it.
//
//   build/bench/store_contention [--writers 8] [--rounds 5000] [--burners 2] [--polling]
//
// --polling adds a third run without the writers' queue (how writers took
// turns before it: polling SQLite's lock every 2 ms), for comparison.
//
// Prints, per run: transactions per second, lost updates (counter against
// acknowledged commits), failed transactions, the longest single wait for the
// write lock (from asking to holding it) and the longest whole transaction,
// the median wait, and PRAGMA integrity_check. Exit status 1 when anything
// was lost or failed or the file is not sound. The store lives in TMPDIR.

#include "registry/Registry.h"
#include "support/IntegrityCheck.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace wdx::registry;
using Clock = std::chrono::steady_clock;

namespace {

struct TWriterResult {
    long Done = 0;
    long Failed = 0;
    long long MaxWaitUs = 0;
    long long MaxTxUs = 0;
    long long MedianWaitUs = 0;
};

long long Us(Clock::duration D) {
    return std::chrono::duration_cast<std::chrono::microseconds>(D).count();
}

TWriterResult Writer(int Rounds) {
    TWriterResult R;
    std::vector<long long> Waits;
    Waits.reserve(static_cast<size_t>(Rounds));
    for (int I = 0; I < Rounds; ++I) {
        auto T0 = Clock::now();
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        auto T1 = Clock::now();
        TRegKey Key;
        std::int32_t Value = 0;
        bool Ok = Tx.Ok() && Tx.CreateKey("Race", Key);
        Ok = Ok && (Key.ReadInt32("Counter", Value) || Tx.Error() == TRegError::NotFound);
        Ok = Ok && Key.WriteInt32("Counter", Value + 1) && Tx.Commit();
        auto T2 = Clock::now();
        if (!Ok) {
            ++R.Failed;
            std::fprintf(stderr, "pid %d: %s\n", getpid(), Tx.ErrorText().c_str());
            continue;
        }
        ++R.Done;
        Waits.push_back(Us(T1 - T0));
        R.MaxWaitUs = std::max(R.MaxWaitUs, Us(T1 - T0));
        R.MaxTxUs = std::max(R.MaxTxUs, Us(T2 - T0));
    }
    if (!Waits.empty()) {
        std::nth_element(Waits.begin(), Waits.begin() + Waits.size() / 2, Waits.end());
        R.MedianWaitUs = Waits[Waits.size() / 2];
    }
    return R;
}

pid_t Burner() {
    pid_t Pid = fork();
    if (Pid == 0) {
        volatile unsigned long X = 0;
        for (;;)
            X = X + 1;
    }
    return Pid;
}

using wdx::testsupport::IntegrityCheck;

// One run on a new file; true when nothing was lost or failed.
// Without the queue (Poll), as builds before it: a folder where the lock file
// would be makes writers go without a turn and poll SQLite's lock.
bool Run(const std::string& Dir, const char* Label, int Writers, int Rounds, int Burners, bool Poll = false) {
    std::string File = Dir + "/" + Label + ".sqlite";
    setenv("WDX_USER_STORE", File.c_str(), 1);
    if (Poll)
        std::filesystem::create_directory(File + ".lock");
    std::vector<pid_t> Burning;
    for (int I = 0; I < Burners; ++I)
        Burning.push_back(Burner());

    std::vector<std::pair<pid_t, int>> Children; // pid, read end
    auto Start = Clock::now();
    for (int I = 0; I < Writers; ++I) {
        int Pipe[2];
        if (pipe(Pipe) != 0)
            return false;
        pid_t Pid = fork();
        if (Pid == 0) {
            close(Pipe[0]);
            TWriterResult R = Writer(Rounds);
            if (write(Pipe[1], &R, sizeof R) != static_cast<ssize_t>(sizeof R))
                _exit(2);
            _exit(0);
        }
        close(Pipe[1]);
        Children.emplace_back(Pid, Pipe[0]);
    }
    TWriterResult All;
    std::vector<long long> Medians;
    for (auto& [Pid, Fd] : Children) {
        TWriterResult R;
        if (read(Fd, &R, sizeof R) != static_cast<ssize_t>(sizeof R))
            R.Failed = Rounds; // the writer died
        close(Fd);
        waitpid(Pid, nullptr, 0);
        All.Done += R.Done;
        All.Failed += R.Failed;
        All.MaxWaitUs = std::max(All.MaxWaitUs, R.MaxWaitUs);
        All.MaxTxUs = std::max(All.MaxTxUs, R.MaxTxUs);
        Medians.push_back(R.MedianWaitUs);
    }
    double Seconds = std::chrono::duration<double>(Clock::now() - Start).count();
    for (pid_t B : Burning) {
        kill(B, SIGKILL);
        waitpid(B, nullptr, 0);
    }
    std::sort(Medians.begin(), Medians.end());

    std::int32_t Counter = 0;
    TRegError Err = TRegError::None;
    ReadInt32(TRegRoot::User, "Race", "Counter", Counter, &Err);
    ReleaseCachedConnections();
    long Lost = All.Done - Counter;
    std::string Check = IntegrityCheck(File);
    std::printf("%-8s %d writer(s) x %d, %d burner(s): %.0f tx/s (%.1f s), lost %ld, failed %ld, "
                "longest wait %.1f ms, longest tx %.1f ms, median wait (middle writer) %.3f ms, "
                "integrity_check %s\n",
                Label, Writers, Rounds, Burners, static_cast<double>(All.Done) / Seconds, Seconds, Lost,
                All.Failed, static_cast<double>(All.MaxWaitUs) / 1000.0,
                static_cast<double>(All.MaxTxUs) / 1000.0,
                static_cast<double>(Medians[Medians.size() / 2]) / 1000.0, Check.c_str());
    std::fflush(stdout);
    return Lost == 0 && All.Failed == 0 && Check == "ok";
}

} // namespace

int main(int argc, char** argv) {
    int Writers = 8, Rounds = 5000, Burners = 2;
    bool Polling = false;
    for (int I = 1; I < argc; ++I) {
        std::string A = argv[I];
        if (A == "--polling") {
            Polling = true;
            continue;
        }
        if (I + 1 >= argc)
            break;
        int V = std::atoi(argv[I + 1]);
        if (A == "--writers")
            Writers = V;
        else if (A == "--rounds")
            Rounds = V;
        else if (A == "--burners")
            Burners = V;
        ++I;
    }
    const char* Tmp = std::getenv("TMPDIR");
    std::string Pattern = std::string(Tmp && *Tmp ? Tmp : "/tmp") + "/wdx-contention-XXXXXX";
    if (!mkdtemp(Pattern.data()))
        return 2;
    bool Ok = Run(Pattern, "many", Writers, Rounds, Burners);
    Ok = Run(Pattern, "alone", 1, Rounds, Burners) && Ok;
    if (Polling) // for comparison only: failures there do not count
        Run(Pattern, "polling", Writers, Rounds, Burners, true);
    std::error_code Ec;
    std::filesystem::remove_all(Pattern, Ec);
    return Ok ? 0 : 1;
}

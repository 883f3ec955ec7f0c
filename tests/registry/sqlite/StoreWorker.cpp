// Child process for the multi-process store tests. Works on the User root
// named by WDX_USER_STORE.
//   count N       N times: one write transaction that reads "Race\Counter" and
//                 writes it back plus one; between them a read that checks the
//                 counter never goes backwards. Exit 0 when all went well.
//   ack TAG SIZE  Forever: writes value TAG-i (SIZE bytes) under "Kill\TAG" in
//                 its own transaction and prints i once the commit returned.
//   first read|write AT
//                 Sleeps until CLOCK_REALTIME AT (nanoseconds), then reads a
//                 value or writes one: several of them meet a file that is
//                 being created. Exit 0 when it worked (or the value is just
//                 not there yet), 6 with the error on stderr when not.
//   hold MS [TIMEOUT_MS]
//                 Opens a write transaction, prints "held", keeps it MS
//                 milliseconds, commits. Exit 0 when the commit worked.
#include "registry/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <time.h>
#include <unistd.h>

using namespace wdx::registry;

static int Count(int N) {
    std::int32_t Seen = 0;
    for (int I = 0; I < N; ++I) {
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        TRegKey Key;
        std::int32_t Value = 0;
        if (!Tx.Ok() || !Tx.CreateKey("Race", Key))
            return 2;
        if (!Key.ReadInt32("Counter", Value) && Tx.Error() != TRegError::NotFound)
            return 3;
        if (!Key.WriteInt32("Counter", Value + 1) || !Tx.Commit()) {
            std::fprintf(stderr, "write failed: %s\n", Tx.ErrorText().c_str());
            return 4;
        }
        std::int32_t Now = 0;
        if (!ReadInt32(TRegRoot::User, "Race", "Counter", Now) || Now < Seen || Now < Value + 1)
            return 5;
        Seen = Now;
    }
    return 0;
}

static int Ack(const std::string& Tag, size_t Size) {
    for (long I = 0;; ++I) {
        std::string Name = Tag + "-" + std::to_string(I);
        std::string Data(Size, static_cast<char>('a' + I % 26));
        if (!WriteText(TRegRoot::User, "Kill\\" + Tag, Name, Data))
            return 2;
        std::printf("%ld\n", I);
        std::fflush(stdout);
        usleep(1000); // a pause between saves, as a program makes them
    }
}

static int First(const std::string& What, long long At) {
    timespec T{static_cast<time_t>(At / 1000000000), static_cast<long>(At % 1000000000)};
    clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &T, nullptr);
    TRegError Err = TRegError::None;
    if (What == "write") {
        if (WriteText(TRegRoot::User, "First", "Pid" + std::to_string(getpid()), "x", &Err))
            return 0;
    } else {
        std::string Text;
        if (ReadText(TRegRoot::User, "First", "Pid1", Text, &Err) || Err == TRegError::NotFound)
            return 0;
    }
    std::fprintf(stderr, "%s failed: %s\n", What.c_str(), ErrorName(Err));
    return 6;
}

static int Hold(int Ms) {
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.CreateKey("Held", Key) || !Key.WriteInt32("By", getpid())) {
        std::fprintf(stderr, "hold failed: %s\n", Tx.ErrorText().c_str());
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    usleep(static_cast<useconds_t>(Ms) * 1000);
    return Tx.Commit() ? 0 : 4;
}

int main(int argc, char** argv) {
    std::string Mode = argc > 1 ? argv[1] : "";
    if (Mode == "count" && argc == 3)
        return Count(std::atoi(argv[2]));
    if (Mode == "ack" && argc == 4)
        return Ack(argv[2], static_cast<size_t>(std::atol(argv[3])));
    if (Mode == "first" && argc == 4)
        return First(argv[2], std::atoll(argv[3]));
    if (Mode == "hold" && argc >= 3) {
        if (argc == 4)
            SetBusyTimeout(std::chrono::milliseconds(std::atoi(argv[3])));
        return Hold(std::atoi(argv[2]));
    }
    std::fprintf(stderr, "usage: wdx_store_worker count N | ack TAG SIZE | first read|write AT | hold MS\n");
    return 64;
}

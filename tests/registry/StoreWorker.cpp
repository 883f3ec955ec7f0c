// Child process for the multi-process store tests. Works on the User root
// named by WDX_USER_STORE.
//   count N       N times: one write transaction that reads "Race\Counter" and
//                 writes it back plus one; between them a read that checks the
//                 counter never goes backwards. Exit 0 when all went well.
//   ack TAG SIZE  Forever: writes value TAG-i (SIZE bytes) under "Kill\TAG" in
//                 its own transaction and prints i once the commit returned.
#include "registry/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

int main(int argc, char** argv) {
    std::string Mode = argc > 1 ? argv[1] : "";
    if (Mode == "count" && argc == 3)
        return Count(std::atoi(argv[2]));
    if (Mode == "ack" && argc == 4)
        return Ack(argv[2], static_cast<size_t>(std::atol(argv[3])));
    std::fprintf(stderr, "usage: wdx_store_worker count N | ack TAG SIZE\n");
    return 64;
}

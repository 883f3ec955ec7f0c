// What the store costs where it is felt: saving one definition, and the
// administrator's list fill over 10,000 definitions, set beside one plain
// SQLite query that reads the same values from the same file.
//
//   build/bench/store_bench [--benchmark_filter=...]
//
// The store files live in a temporary folder (TMPDIR); the journal mode of the
// file and connection reuse are varied to show what each is worth.

#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"
#include "support/TempStore.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>

using namespace wdx;
using namespace wdx::brokerstore;

namespace {

constexpr int Definitions = 10000;

std::string BrokerName(int I) { return "Broker" + std::to_string(I); }

// One transaction with 10,000 definitions laid out exactly as the store writes them.
void Fill(bool Wal) {
    registry::TRegTransaction Tx(registry::TRegRoot::User, registry::TRegAccess::Write);
    registry::TRegKey Product;
    if (!Tx.Ok() || !Tx.CreateKey(ProductKey, Product))
        throw std::runtime_error("cannot create the bench store: " + Tx.ErrorText());
    for (int I = 0; I < Definitions; ++I) {
        registry::TRegKey K;
        Product.CreateSubKey(BrokerName(I), K);
        K.WriteText("HostName", "host" + std::to_string(I) + ".example.net");
        K.WriteText("Port", std::to_string(7000 + I % 1000));
        K.WriteText("TimeOut", std::to_string(I % 60));
        K.WriteText("ConnectionPooling", I % 2 ? "Y" : "N");
        K.WriteText("LogLevel", std::to_string(I % 4));
    }
    if (!Tx.Commit())
        throw std::runtime_error("cannot save the bench store: " + Tx.ErrorText());
    registry::ReleaseCachedConnections();
    if (Wal) {
        sqlite3* Db = nullptr;
        sqlite3_open(registry::StorePath(registry::TRegRoot::User).c_str(), &Db);
        sqlite3_exec(Db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_close(Db);
    }
}

// The shared store for the read benchmarks, built once per journal mode.
testsupport::TTempStore& StoreFor(bool Wal) {
    static std::unique_ptr<testsupport::TTempStore> Stores[2];
    static std::string Paths[2];
    auto& S = Stores[Wal];
    if (!S) {
        S = std::make_unique<testsupport::TTempStore>();
        Paths[Wal] = S->UserPath();
        Fill(Wal);
    }
    setenv("WDX_USER_STORE", Paths[Wal].c_str(), 1);
    return *S;
}

void BM_ListFill(benchmark::State& State) {
    bool Wal = State.range(0) != 0;
    registry::SetConnectionReuse(State.range(1) != 0);
    StoreFor(Wal);
    for (auto _ : State) {
        std::vector<std::string> Names = ListBrokerNames(scUser);
        size_t Bytes = 0;
        for (const auto& N : Names) {
            TBrokerSummary S = ReadBrokerSummary(scUser, N);
            Bytes += S.HostName.size() + S.Port.size() + S.TimeOut.size();
        }
        if (Names.size() != Definitions)
            State.SkipWithError("wrong number of definitions");
        benchmark::DoNotOptimize(Bytes);
    }
    registry::SetConnectionReuse(true);
    State.SetLabel(std::string(Wal ? "wal" : "rollback journal") +
                   (State.range(1) ? ", connection kept" : ", connection per operation"));
}
BENCHMARK(BM_ListFill)->Args({0, 1})->Args({1, 1})->Args({0, 0})->Unit(benchmark::kMillisecond);

// The same names and values in one query on one open connection.
void BM_PlainQuery(benchmark::State& State) {
    bool Wal = State.range(0) != 0;
    StoreFor(Wal);
    sqlite3* Db = nullptr;
    sqlite3_open_v2(registry::StorePath(registry::TRegRoot::User).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
    const char* Sql = R"sql(
        WITH p AS (SELECT c.id FROM keys a JOIN keys b ON b.parent = a.id JOIN keys c ON c.parent = b.id
                   WHERE a.parent = 0 AND a.fold = 'SOFTWARE' AND b.fold = 'CORVANTA' AND c.fold = 'VKR_CLIENT')
        SELECT k.name, h.data, o.data, t.data FROM keys k
          LEFT JOIN vals h ON h.key = k.id AND h.fold = 'HOSTNAME'
          LEFT JOIN vals o ON o.key = k.id AND o.fold = 'PORT'
          LEFT JOIN vals t ON t.key = k.id AND t.fold = 'TIMEOUT'
        WHERE k.parent = (SELECT id FROM p) ORDER BY k.fold)sql";
    sqlite3_stmt* S = nullptr;
    if (sqlite3_prepare_v2(Db, Sql, -1, &S, nullptr) != SQLITE_OK)
        State.SkipWithError(sqlite3_errmsg(Db));
    for (auto _ : State) {
        int Rows = 0;
        size_t Bytes = 0;
        while (sqlite3_step(S) == SQLITE_ROW) {
            ++Rows;
            for (int C = 0; C < 4; ++C)
                Bytes += static_cast<size_t>(sqlite3_column_bytes(S, C));
        }
        sqlite3_reset(S);
        if (Rows != Definitions)
            State.SkipWithError("wrong number of rows");
        benchmark::DoNotOptimize(Bytes);
    }
    sqlite3_finalize(S);
    sqlite3_close(Db);
    State.SetLabel(Wal ? "wal" : "rollback journal");
}
BENCHMARK(BM_PlainQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteBrokerDefinition(benchmark::State& State) {
    bool Wal = State.range(0) != 0;
    testsupport::TTempStore Store;
    TBrokerDefinition Def{"Saved", scUser, "host.example.net", "7563", "30", true, true, false};
    if (!WriteBrokerDefinition(Def))
        State.SkipWithError("cannot write");
    if (Wal) {
        registry::ReleaseCachedConnections();
        sqlite3* Db = nullptr;
        sqlite3_open(Store.UserPath().c_str(), &Db);
        sqlite3_exec(Db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_close(Db);
    }
    int I = 0;
    for (auto _ : State) {
        Def.Port = std::to_string(7000 + ++I % 1000);
        if (!WriteBrokerDefinition(Def))
            State.SkipWithError("cannot write");
    }
    State.SetLabel(Wal ? "wal" : "rollback journal");
}
BENCHMARK(BM_WriteBrokerDefinition)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

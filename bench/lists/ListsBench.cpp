// One full refresh of the monitor's main window (both lists) beside the bare
// list calls it makes (GetServers plus GetServices), in the same run,
// alternating, for a broker with 10,000 and with 100,000 components and a
// current component with 200 services.
//
// Usage: bench_lists [rounds] [--fake]   (default 25 rounds, after 2 warm-up rounds)
//
// The window runs offscreen, shown, as the operator has it: connected, one
// component clicked, the refresh ending with the lists painted. What blocks
// the window is timed from the press of Refresh to the end of the paint.
//
// Where the calls go is decided by Serve() alone: by default a WDXBrokerSim
// on loopback reached through the monitor-server stand-in, as the program
// runs; with --fake the scripted fake of the tests (its call log off), which
// isolates the window's own cost from the network and the decoding.

#include "FakeMonitor.h"

#include "brokersim/Scenario.h"
#include "brokersim/SimServer.h"
#include "statshost/StandIns.h"

#include "brokerstore/BrokerStore.h"
#include "common/Application.h"
#include "common/widgets/ListView.h"
#include "monitor/MainForm.h"
#include "monitor/Startup.h"

#include <QComboBox>
#include <QEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace wdx;
using namespace wdx::monitor;

namespace {

// The benchmark's own clock: CPU time of this thread, which a machine busy
// with other work disturbs far less than the wall clock (WDX_BENCH_WALL=1
// takes the wall clock instead).
struct TClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<TClock, duration>;
    static time_point now() {
        static const clockid_t id =
            qEnvironmentVariableIntValue("WDX_BENCH_WALL") ? CLOCK_MONOTONIC : CLOCK_THREAD_CPUTIME_ID;
        timespec t{};
        clock_gettime(id, &t);
        return time_point(duration(static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec));
    }
};

double Ms(TClock::duration D) {
    return std::chrono::duration<double, std::milli>(D).count();
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    const size_t n = V.size();
    return n % 2 ? V[n / 2] : (V[n / 2 - 1] + V[n / 2]) / 2;
}

const char* const BrokerName = "Bench";
bool UseFake = false;

// The broker the window talks to, serving Components components, the first
// of which (CurrentName) has Services services.
struct TServing {
    std::string CurrentName = "Component00000";
    std::optional<fake::TFakeServer> Fake;
    std::unique_ptr<brokersim::TSimServer> Sim;
};

// "Bench" defined on Port, where the window will look it up.
void DefineBroker(int Port) {
    brokerstore::TBrokerDefinition def;
    def.Name = BrokerName;
    def.Scope = brokerstore::scUser;
    def.HostName = "127.0.0.1";
    def.Port = std::to_string(Port);
    def.TimeOut = "30";
    if (!brokerstore::WriteBrokerDefinition(def)) {
        std::fprintf(stderr, "cannot write the broker definition\n");
        std::exit(1);
    }
}

std::unique_ptr<TServing> ServeSimulated(int Components, int Services) {
    auto s = std::make_unique<TServing>();
    brokersim::TSimScenario scenario = brokersim::GenerateScenario(Components, 1, 1, 1);
    brokersim::TSimComponent& first = scenario.Components.front();
    s->CurrentName = first.Stats.Name;
    const brokersim::TSimService model = first.Services.front();
    first.Services.assign(static_cast<size_t>(Services), model);
    char name[32];
    for (int i = 0; i < Services; ++i) {
        std::snprintf(name, sizeof name, "Service%03d", i);
        first.Services[static_cast<size_t>(i)].Stats.Name = name;
    }
    auto broker = std::make_shared<brokersim::TSimBroker>(std::move(scenario), 1);
    broker->Tick(3);
    brokersim::TSimServerOptions options;
    options.TickMillis = 0; // the same figures for every request
    s->Sim = std::make_unique<brokersim::TSimServer>(broker, options);
    DefineBroker(s->Sim->Start());
    return s;
}

std::unique_ptr<TServing> Serve(int Components, int Services) {
    if (!UseFake)
        return ServeSimulated(Components, Services);
    DefineBroker(7563);
    auto s = std::make_unique<TServing>();
    s->Fake.emplace();
    fake::TFakeScript& script = s->Fake->Script();
    script.LogCalls = false;
    char name[32];
    for (int i = 0; i < Components; ++i) {
        std::snprintf(name, sizeof name, "Component%05d", i);
        script.Servers.push_back(
            {QString::fromLatin1(name).toStdU16String(), i % 7, 10, i * 13, i % 3, i % 250, i % 1000 - 5});
    }
    auto& services = script.Services[QString::fromStdString(s->CurrentName).toStdU16String()];
    for (int i = 0; i < Services; ++i) {
        std::snprintf(name, sizeof name, "Service%03d", i);
        services.push_back({QString::fromLatin1(name).toStdU16String(), i * 7, i % 4, i % 90, i % 400});
    }
    return s;
}

struct TFigures {
    double Bare;    // GetServers plus GetServices, their lists freed
    double Fills;   // FillComponentList plus FillServiceList, nothing painted
    double Refresh; // RefreshBtnClick: the fills and the button shown disabled
    double Paint;   // the event loop's layout and paint of what the refresh changed
};

// Counts the paints of a list, to be sure the time after a refresh is the
// lists being drawn.
struct TPaintCount : QObject {
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* E) override {
        Paints += E->type() == QEvent::Paint;
        return false;
    }
};

TFigures Measure(int Components, int Services, int Rounds) {
    auto serving = Serve(Components, Services);
    TForm1 form({});
    // The window's controls, by the names its definition gives them.
    auto* combo = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    auto* list1 = form.findChild<common::TListView*>(QStringLiteral("ListView1"));
    auto* list2 = form.findChild<common::TListView*>(QStringLiteral("ListView2"));
    const int item = combo->findText(QString::fromLatin1(BrokerName));
    combo->setCurrentIndex(item);
    emit combo->activated(item);
    if (!form.Connection) {
        std::fprintf(stderr, "could not connect to the broker\n");
        std::exit(1);
    }
    list1->SelectRow(0);
    form.ListView1Click();
    if (form.CurrentComponent != QString::fromStdString(serving->CurrentName) ||
        list2->model()->rowCount() != Services) {
        std::fprintf(stderr, "the window did not list the services\n");
        std::exit(1);
    }
    QApplication::processEvents();
    TPaintCount painted;
    list1->viewport()->installEventFilter(&painted);
    auto check = [&] {
        if (list1->model()->rowCount() != Components || list1->SelectedRow() != 0 ||
            list2->model()->rowCount() != Services || painted.Paints == 0) {
            std::fprintf(stderr, "the refresh did not end with the lists filled, selected and painted\n");
            std::exit(1);
        }
        painted.Paints = 0;
    };

    const std::string current = serving->CurrentName;
    auto runBare = [&] {
        const auto t0 = TClock::now();
        {
            TServerList servers = form.Connection->GetServers();
            TServiceList services = form.Connection->GetServices(current);
            if (int(servers.size()) != Components || int(services.size()) != Services)
                std::exit(1);
        } // freed, as the window frees the lists it replaces
        return Ms(TClock::now() - t0);
    };
    auto runFills = [&] {
        const auto t0 = TClock::now();
        form.FillComponentList();
        form.FillServiceList();
        const double fills = Ms(TClock::now() - t0);
        QApplication::processEvents();
        check();
        return fills;
    };
    auto runRefresh = [&] {
        const auto t0 = TClock::now();
        form.RefreshBtnClick();
        const auto t1 = TClock::now();
        QApplication::processEvents();
        const auto t2 = TClock::now();
        check();
        return std::pair{Ms(t1 - t0), Ms(t2 - t1)};
    };

    std::vector<double> bare, fills, refresh, paint;
    for (int round = -2; round < Rounds; ++round) {
        // Rotate the order, so that none always finds the caches warm.
        double b = 0, f = 0, r = 0, p = 0;
        for (int k = 0; k < 3; ++k) {
            switch ((round + 3 + k) % 3) {
            case 0:
                b = runBare();
                break;
            case 1:
                f = runFills();
                break;
            default:
                std::tie(r, p) = runRefresh();
                break;
            }
        }
        if (round >= 0) {
            bare.push_back(b);
            fills.push_back(f);
            refresh.push_back(r);
            paint.push_back(p);
        }
    }
    return {Median(bare), Median(fills), Median(refresh), Median(paint)};
}

// For comparison: the same component rows formatted into texts up front, as
// a list that holds one text per cell would need them.
double MeasureEagerFill(int Components, int Rounds) {
    TServerList servers;
    for (int i = 0; i < Components; ++i)
        servers.push_back({"Component" + std::to_string(i), i % 7, 10, i * 13, i % 3, i % 250, i % 1000 - 5});
    common::TListView list;
    list.SetColumns({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                     QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7")},
                    {100, 60, 60, 60, 60, 60, 60});
    std::vector<double> times;
    for (int round = -2; round < Rounds; ++round) {
        const auto t0 = TClock::now();
        std::vector<QStringList> rows;
        rows.reserve(servers.size());
        for (const TServer& s : servers)
            rows.push_back({QString::fromStdString(s.Name), QString::number(s.Active),
                            QString::number(s.Maximum), QString::number(s.Requests),
                            QString::number(s.Queued), QString::number(s.QueueTime),
                            QString::number(s.ServiceTime)});
        list.Items()->Assign(std::move(rows));
        if (round >= 0)
            times.push_back(Ms(TClock::now() - t0));
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 25;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--fake")
            UseFake = true;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }
    // Freed memory stays with the process: otherwise whichever measurement
    // happens to follow a large free pays for mapping the pages in again,
    // which swamps the difference being measured at 100,000 rows.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A store of its own with the one broker, never the user's files.
    QTemporaryDir dir;
    qputenv("WDX_USER_STORE", dir.filePath(QStringLiteral("user.db")).toLocal8Bit());
    qputenv("WDX_SYSTEM_STORE", dir.filePath(QStringLiteral("system.db")).toLocal8Bit());
    common::TWDXApplication app(argc, argv);
    app.Start(Program);
    statshost::RegisterStandIns();

    std::printf("broker: %s\n",
                UseFake ? "the scripted fake" : "WDXBrokerSim on loopback, through the stand-in");
    std::printf("rounds: %d; medians in ms of %s\n", rounds,
                qEnvironmentVariableIntValue("WDX_BENCH_WALL") ? "wall-clock time"
                                                               : "the GUI thread's CPU time");
    std::printf("%10s %8s | %6s %6s %7s %6s | %13s %13s | %14s %14s\n", "components", "services", "bare",
                "fills", "refresh", "paint", "fills add", "refresh+paint", "blocked/10k", "own/10k");
    for (int components : {10000, 100000}) {
        const int services = 200;
        const TFigures f = Measure(components, services, rounds);
        const double rows = components + services;
        const double fillsAdd = f.Fills - f.Bare;
        const double windowAdd = f.Refresh + f.Paint - f.Bare;
        std::printf("%10d %8d | %6.2f %6.2f %7.2f %6.2f | %6.2f (%3.0f%%) %6.2f (%3.0f%%) | %14.2f %14.2f\n",
                    components, services, f.Bare, f.Fills, f.Refresh, f.Paint, fillsAdd,
                    100 * fillsAdd / f.Bare, windowAdd, 100 * windowAdd / f.Bare,
                    (f.Refresh + f.Paint) * 10000 / rows, windowAdd * 10000 / rows);
    }
    for (int components : {10000, 100000})
        std::printf("for comparison, %d component rows formatted into texts up front: %.2f ms\n", components,
                    MeasureEagerFill(components, rounds));
    return 0;
}

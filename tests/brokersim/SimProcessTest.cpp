// WDXBrokerSim as a program: it prints the port it took, serves, takes
// faults from its command line, stops on SIGTERM and SIGINT, and refuses bad
// scenarios with a message and a non-zero exit. Every wait is bounded.

#include "statshost/StatsClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace wdx::statshost;
using TClock = std::chrono::steady_clock;

extern char** environ;

namespace {

// One child process with its stdout and stderr on pipes. The destructor
// kills and reaps a child that is still running.
class TChild {
public:
    explicit TChild(std::vector<std::string> Args) {
        Args.insert(Args.begin(), WDX_BROKERSIM_PATH);
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<char*> argv;
        for (auto& a : Args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        FOut = out[0];
        FErr = err[0];
        if (rc != 0)
            throw std::runtime_error(std::string("spawn failed: ") + std::strerror(rc));
    }
    ~TChild() {
        if (FPid > 0 && !FExited) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        close(FOut);
        close(FErr);
    }

    // The first line on stdout, or empty when none came within Seconds.
    std::string FirstLine(double Seconds) {
        std::string line;
        auto deadline = TClock::now() + std::chrono::duration<double>(Seconds);
        while (TClock::now() < deadline) {
            pollfd p{FOut, POLLIN, 0};
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count());
            if (poll(&p, 1, std::max(left, 1)) <= 0)
                continue;
            char c;
            if (read(FOut, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return {};
    }

    // The exit status, or -1 when the child did not end within Seconds.
    int Wait(double Seconds) {
        auto deadline = TClock::now() + std::chrono::duration<double>(Seconds);
        while (TClock::now() < deadline) {
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FExited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    // What the child wrote to stderr (after it ended).
    std::string Errors() {
        std::string all;
        char buf[512];
        pollfd p{FErr, POLLIN, 0};
        while (poll(&p, 1, 0) > 0) {
            ssize_t n = read(FErr, buf, sizeof buf);
            if (n <= 0)
                break;
            all.append(buf, static_cast<std::size_t>(n));
        }
        return all;
    }

    void Signal(int Sig) { kill(FPid, Sig); }

private:
    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    bool FExited = false;
};

int PortOf(const std::string& Line) {
    const std::string prefix = "listening on 127.0.0.1:";
    if (Line.rfind(prefix, 0) != 0)
        return 0;
    return std::stoi(Line.substr(prefix.size()));
}

} // namespace

TEST(SimProcess, ServesTheDemoScenarioAndStopsOnSigterm) {
    TChild sim(
        {"--scenario", WDX_SOURCE_DIR "/brokersim/scenarios/demo.json", "--port", "0", "--tick-ms", "50"});
    std::string line = sim.FirstLine(10);
    int port = PortOf(line);
    ASSERT_GT(port, 0) << "first line: \"" << line << "\"\n" << sim.Errors();

    TStatsClient client("127.0.0.1", port, 5);
    auto version = client.GetVersion("wdxappserver");
    ASSERT_TRUE(version.Ok()) << version.Error().Text;
    EXPECT_EQ(version.Value().Version, "4.2.1 (build 318)");
    auto first = client.GetComponents();
    ASSERT_TRUE(first.Ok()) << first.Error().Text;
    EXPECT_GE(first.Value().size(), 24u);

    // The load runs by itself: within a bounded wait some figure moves.
    bool moved = false;
    for (int i = 0; i < 40 && !moved; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto now = client.GetComponents();
        ASSERT_TRUE(now.Ok());
        moved = now.Value() != first.Value();
    }
    EXPECT_TRUE(moved);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(10), 0);
    EXPECT_NE(sim.Errors().find("stopped (SIGTERM)"), std::string::npos);
}

TEST(SimProcess, FaultsFromTheCommandLineAndSigint) {
    TChild sim({"--components", "20", "--services", "2", "--fault", "/v1/health=error:503:Broker starting up",
                "--fault", "/v1/components/*=malformed"});
    int port = PortOf(sim.FirstLine(10));
    ASSERT_GT(port, 0) << sim.Errors();
    TStatsClient client("127.0.0.1", port, 5);
    auto h = client.GetHealth();
    ASSERT_FALSE(h.Ok());
    EXPECT_EQ(h.Error().HttpStatus, 503);
    EXPECT_EQ(h.Error().Text, "Broker starting up");
    auto d = client.GetComponentDetails("Component000003");
    ASSERT_FALSE(d.Ok());
    EXPECT_EQ(d.Error().Kind, TStatsFailure::Malformed);
    auto list = client.GetComponents();
    ASSERT_TRUE(list.Ok());
    EXPECT_EQ(list.Value().size(), 20u);

    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(10), 0);
}

TEST(SimProcess, BadInputIsRefusedWithAMessage) {
    char path[] = "/tmp/wdxsim-badXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char bad[] = R"({"components":[{"name":"A","active":"two"}]})";
    ASSERT_EQ(write(fd, bad, sizeof bad - 1), static_cast<ssize_t>(sizeof bad - 1));
    close(fd);

    struct TCase {
        std::vector<std::string> Args;
        std::string Says;
    };
    const TCase cases[] = {
        {{"--scenario", path}, std::string(path) + ": components[0].active must be an integer"},
        {{"--scenario", "/nonexistent/demo.json"}, "/nonexistent/demo.json: cannot be read"},
        {{}, "give --scenario FILE or --components N"},
        {{"--components", "5", "--fault", "/v1/health=melt"}, "unknown fault kind \"melt\""},
        {{"--components", "0"}, "--components"},
    };
    for (const TCase& c : cases) {
        TChild sim(c.Args);
        EXPECT_EQ(sim.FirstLine(5), "");
        int rc = sim.Wait(10);
        EXPECT_GT(rc, 0) << c.Says;
        EXPECT_NE(sim.Errors().find(c.Says), std::string::npos) << c.Says;
    }
    unlink(path);
}

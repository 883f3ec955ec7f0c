#pragma once
// The Linux side of the Windows programs' end-to-end tests: Windows programs
// run under Wine in the WINEPREFIX given (never the user's own), and the
// simulated broker they talk to, served here. Every process started here is
// bounded in time and ended.
//
//   TWineSession Wine;   // WINEPREFIX and WDX_WINDOWS_BUILD_DIR from the environment
//   TChildRun R = Wine.Run({Wine.Program("WDXStat"), "brokers"});
//   TSimProcess Sim(ScenarioJson);   // WDXBrokerSim on a free loopback port

#include "support/ChildProcess.h"

#include <sys/prctl.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace wdx::testing {

inline std::string Env(const char* Name) {
    const char* V = std::getenv(Name);
    return V ? V : "";
}

// A Linux file name as a Windows program opens it: Wine's Z: drive is /.
inline std::string WindowsPath(std::string Path) {
    for (char& C : Path)
        if (C == '/')
            C = '\\';
    return "Z:" + Path;
}

// Wine's programs and the Windows build's, in one private prefix.
class TWineSession {
public:
    TWineSession() {
        const std::string Prefix = Env("WINEPREFIX");
        if (Prefix.empty() || !std::filesystem::is_directory(Prefix))
            throw std::runtime_error("WINEPREFIX must name the private Wine folder of the run "
                                     "(scripts/test-windows.sh makes one)");
        const std::string Build = Env("WDX_WINDOWS_BUILD_DIR");
        ReadPrograms(Build + "/wine-programs.txt");
        // Output of Windows programs comes through pipes as UTF-8 text, and
        // Wine turns this side's arguments into the command line by the locale.
        setenv("LC_ALL", "C.UTF-8", 1);
        setenv("WINEDEBUG", "-all", 1);
        // A persistent server first, not inheriting our pipes: else every run
        // whose output is read waits for the server to linger out. Status 2:
        // one is running already (the script's), which is left to it.
        FStartedServer = RunChild({FWineDir + "/wineserver", "-p"}, 10).Status == 0;
        if (!std::filesystem::exists(Prefix + "/system.reg") &&
            RunChild({FWineDir + "/wine64", "wineboot", "-i"}, 180).Status != 0)
            throw std::runtime_error("wineboot could not make the prefix " + Prefix);
    }
    ~TWineSession() {
        try {
            if (FRegistered)
                UnregisterServer();
        } catch (const std::exception& E) {
            std::cerr << E.what() << "\n";
        }
        if (FStartedServer)
            RunChild({FWineDir + "/wineserver", "-k"}, 10);
    }
    TWineSession(const TWineSession&) = delete;
    TWineSession& operator=(const TWineSession&) = delete;

    // The Linux path of a Windows program of the build ("WDXStat").
    std::string Program(const std::string& Name) const {
        auto It = FPrograms.find(Name);
        if (It == FPrograms.end() || It->second.empty())
            throw std::runtime_error(Name + " is not in the Windows build");
        return It->second;
    }

    // A Windows program with its arguments, bounded; its exit status is the
    // program's own. It sees the prefix's registry as its store, never a
    // store this side names for its own programs.
    TChildRun Run(std::vector<std::string> Words, double LimitSeconds = 30,
                  const std::string* Input = nullptr) const {
        Words.insert(Words.begin(), {"/usr/bin/env", "-u", "WDX_USER_STORE", "-u", "WDX_SYSTEM_STORE",
                                     FWineDir + "/wine64"});
        return RunChild(Words, LimitSeconds, Input);
    }

    // The same on a pseudo-terminal: Wine gives the program a console
    // there, which shows what it writes on the terminal (in UTF-8).
    TChildRun RunOnTerminal(std::vector<std::string> Words, double LimitSeconds = 30) const {
        Words.insert(Words.begin(), {"/usr/bin/env", "-u", "WDX_USER_STORE", "-u", "WDX_SYSTEM_STORE",
                                     FWineDir + "/wine64"});
        return RunChildOnTerminal(Words, {}, LimitSeconds);
    }

    // The monitor's COM server (WDXStatsHost.dll), registered with regsvr32
    // in the prefix as an installer would; false when it is not built.
    bool RegisterServer() { return Regsvr32(false); }
    bool UnregisterServer() { return Regsvr32(true); }
    bool ServerRegistered() const { return FRegistered; }
    std::string ServerSkipReason() const {
        return "WDXStatsHost.dll is not in this Windows build (no target WDXStatsHost): WDXStat.exe uses "
               "its in-process stand-ins, and no COM server is registered with regsvr32";
    }

private:
    void ReadPrograms(const std::string& File) {
        std::ifstream In(File);
        if (!In)
            throw std::runtime_error("cannot read " + File +
                                     " (set WDX_WINDOWS_BUILD_DIR to the Windows build, built)");
        for (std::string Line; std::getline(In, Line);)
            if (auto Eq = Line.find('='); Eq != std::string::npos)
                FPrograms[Line.substr(0, Eq)] = Line.substr(Eq + 1);
    }

    bool Regsvr32(bool Remove) {
        auto It = FPrograms.find("WDXStatsHost");
        if (It == FPrograms.end() || It->second.empty())
            return false;
        const std::string Windows = WindowsPath(It->second);
        std::vector<std::string> Words{"regsvr32", "/s"};
        if (Remove)
            Words.push_back("/u");
        Words.push_back(Windows);
        TChildRun R = Run(Words, 60);
        if (R.Status != 0)
            throw std::runtime_error("regsvr32 " + std::string(Remove ? "/u " : "") + Windows + " failed (" +
                                     std::to_string(R.Status) + "): " + R.Err);
        FRegistered = !Remove;
        return true;
    }

    std::string FWineDir = Env("WDX_WINE_DIR").empty() ? "/usr/lib/wine" : Env("WDX_WINE_DIR");
    std::map<std::string, std::string> FPrograms;
    bool FStartedServer = false;
    bool FRegistered = false;
};

// WDXBrokerSim serving a scenario on a free loopback port, with its control
// endpoint and no load steps (the figures stay as the scenario has them
// unless an action changes them); ended with SIGTERM, killed if it lingers.
class TSimProcess {
public:
    explicit TSimProcess(const std::string& ScenarioJson, const std::vector<std::string>& More = {}) {
        FDir = std::filesystem::temp_directory_path() / ("wdx-sim-" + std::to_string(getpid()));
        std::filesystem::create_directories(FDir);
        const std::string Scenario = (FDir / "scenario.json").string();
        std::ofstream(Scenario) << ScenarioJson;
        std::vector<std::string> Words{WDX_BROKERSIM_PROGRAM, "--scenario", Scenario,   "--port", "0",
                                       "--tick-ms",           "0",          "--control"};
        Words.insert(Words.end(), More.begin(), More.end());
        Start(Words);
    }
    ~TSimProcess() {
        if (FPid <= 0)
            return;
        kill(FPid, SIGTERM);
        int S = 0;
        const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (waitpid(FPid, &S, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > End) {
                kill(FPid, SIGKILL);
                waitpid(FPid, &S, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::error_code Ignored;
        std::filesystem::remove_all(FDir, Ignored);
    }
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    int Port() const { return FPort; }

    // A protocol answer read directly, not through the programs under test.
    nlohmann::json Get(const std::string& Path) const {
        auto R = Client().Get(Path);
        if (!R || R->status != 200)
            throw std::runtime_error("the simulator did not answer GET " + Path);
        return nlohmann::json::parse(R->body);
    }
    // A control request (faults, health); throws unless it is taken.
    void Control(const std::string& Method, const std::string& Path, const std::string& Body = "{}") const {
        auto C = Client();
        auto R = Method == "POST" ? C.Post(Path, Body, "application/json") : C.Delete(Path);
        if (!R || R->status != 200)
            throw std::runtime_error("the simulator refused " + Method + " " + Path);
    }
    void ClearFaults() const { Control("DELETE", "/control/faults"); }

private:
    httplib::Client Client() const {
        httplib::Client C("127.0.0.1", FPort);
        C.set_connection_timeout(5);
        C.set_read_timeout(5);
        C.set_write_timeout(5);
        return C;
    }

    void Start(const std::vector<std::string>& Words) {
        std::vector<char*> V;
        for (const auto& W : Words)
            V.push_back(const_cast<char*>(W.c_str()));
        V.push_back(nullptr);
        int Out[2];
        if (pipe(Out) != 0)
            throw std::runtime_error("pipe");
        const std::string Log = (FDir / "sim.err").string();
        FPid = fork();
        if (FPid < 0)
            throw std::runtime_error("fork");
        if (FPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // not even a killed harness leaves it serving
            dup2(Out[1], 1);
            const int Err = open(Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(Err, 2);
            close(Out[0]);
            execv(V[0], V.data());
            _exit(127);
        }
        close(Out[1]);
        // "listening on 127.0.0.1:PORT", within 10 s.
        std::string Line;
        const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < End) {
            pollfd P{Out[0], POLLIN, 0};
            if (poll(&P, 1, 100) <= 0)
                continue;
            char Buf[256];
            const ssize_t N = read(Out[0], Buf, sizeof Buf);
            if (N <= 0)
                break;
            Line.append(Buf, static_cast<std::size_t>(N));
        }
        close(Out[0]);
        const std::string Prefix = "listening on 127.0.0.1:";
        if (Line.rfind(Prefix, 0) != 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            std::ifstream In(Log);
            throw std::runtime_error("WDXBrokerSim did not start: " + Line +
                                     std::string(std::istreambuf_iterator<char>(In), {}));
        }
        FPort = std::stoi(Line.substr(Prefix.size()));
    }

    std::filesystem::path FDir;
    pid_t FPid = -1;
    int FPort = 0;
};

} // namespace wdx::testing

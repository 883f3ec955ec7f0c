#pragma once
// Runs WDXStat as a user does: as a process with its own standard output and
// error, without a terminal, or on a pseudo-terminal with typed answers.
// Every run is bounded in time and ends the process it started.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace wdx::testing {

struct TStatRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    double Seconds = 0;
};

// Arguments as separate words (no shell), so names with blanks and quotes
// pass unchanged.
inline std::vector<char*> Argv(const std::vector<std::string>& Args) {
    std::vector<char*> V;
    V.push_back(const_cast<char*>(WDX_STAT_TOOL));
    for (const auto& A : Args)
        V.push_back(const_cast<char*>(A.c_str()));
    V.push_back(nullptr);
    return V;
}

// Reads Fds until both are closed or Limit passes; then the child is killed.
inline int Collect(pid_t Pid, std::vector<std::pair<int, std::string*>> Fds, double LimitSeconds) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::duration<double>(LimitSeconds);
    while (!Fds.empty()) {
        const auto Left =
            std::chrono::duration_cast<std::chrono::milliseconds>(End - std::chrono::steady_clock::now());
        if (Left.count() <= 0) {
            kill(Pid, SIGKILL);
            break;
        }
        std::vector<pollfd> P;
        for (auto& F : Fds)
            P.push_back({F.first, POLLIN, 0});
        if (poll(P.data(), P.size(), static_cast<int>(Left.count())) <= 0)
            continue;
        for (std::size_t I = P.size(); I-- > 0;) {
            if (!P[I].revents)
                continue;
            char Buf[65536];
            const ssize_t N = read(P[I].fd, Buf, sizeof Buf);
            if (N > 0) {
                Fds[I].second->append(Buf, static_cast<std::size_t>(N));
            } else {
                close(P[I].fd);
                Fds.erase(Fds.begin() + static_cast<long>(I));
            }
        }
    }
    for (auto& F : Fds)
        close(F.first);
    int S = 0;
    waitpid(Pid, &S, 0);
    return WIFEXITED(S) ? WEXITSTATUS(S) : -1;
}

// Without a terminal: standard input is /dev/null; standard output is read,
// or goes to the file OutPath when one is given.
inline TStatRun RunStat(const std::vector<std::string>& Args, double LimitSeconds = 30,
                        const char* OutPath = nullptr) {
    int Out[2], Err[2];
    if (pipe(Out) != 0 || pipe(Err) != 0)
        throw std::runtime_error("pipe");
    const auto Start = std::chrono::steady_clock::now();
    auto V = Argv(Args);
    const pid_t Pid = fork();
    if (Pid == 0) {
        const int Null = open("/dev/null", O_RDONLY);
        dup2(Null, 0);
        dup2(OutPath ? open(OutPath, O_WRONLY) : Out[1], 1);
        dup2(Err[1], 2);
        close(Out[0]);
        close(Err[0]);
        execv(V[0], V.data());
        _exit(127);
    }
    close(Out[1]);
    close(Err[1]);
    TStatRun R;
    std::vector<std::pair<int, std::string*>> Fds{{Err[0], &R.Err}};
    if (OutPath)
        close(Out[0]);
    else
        Fds.push_back({Out[0], &R.Out});
    R.Status = Collect(Pid, Fds, LimitSeconds);
    R.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    return R;
}

// On a pseudo-terminal (standard input, output and error), Typed written to
// it at the start. Out holds everything the terminal showed.
inline TStatRun RunStatOnTerminal(const std::vector<std::string>& Args, const std::string& Typed,
                                  double LimitSeconds = 30) {
    int Master = -1;
    auto V = Argv(Args);
    const pid_t Pid = forkpty(&Master, nullptr, nullptr, nullptr);
    if (Pid < 0)
        throw std::runtime_error("forkpty");
    if (Pid == 0) {
        execv(V[0], V.data());
        _exit(127);
    }
    if (!Typed.empty() && write(Master, Typed.data(), Typed.size()) < 0)
        throw std::runtime_error("write to the terminal");
    TStatRun R;
    // Reading the master ends with EIO once the child has closed its side.
    R.Status = Collect(Pid, {{Master, &R.Out}}, LimitSeconds);
    return R;
}

} // namespace wdx::testing

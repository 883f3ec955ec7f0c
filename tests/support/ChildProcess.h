#pragma once
// Runs a program as a child process with its own standard output and error
// (standard input /dev/null), bounded in time: past the limit it is killed,
// and nothing is left running. POSIX only.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace wdx::testing {

struct TChildRun {
    int Status = -1; // the exit status; -1 when killed or ended by a signal
    std::string Out;
    std::string Err;
    double Seconds = 0;
};

// Reads Fds until the child has ended and they hold nothing more, or until
// Limit passes; then the child is killed. A process the child left behind
// holding the pipes (as Wine's helpers may) does not keep the reader waiting.
inline int Collect(pid_t Pid, std::vector<std::pair<int, std::string*>> Fds, double LimitSeconds) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::duration<double>(LimitSeconds);
    int S = 0;
    bool Ended = false;
    while (!Fds.empty()) {
        if (!Ended && waitpid(Pid, &S, WNOHANG) == Pid)
            Ended = true;
        const auto Left =
            std::chrono::duration_cast<std::chrono::milliseconds>(End - std::chrono::steady_clock::now());
        if (Left.count() <= 0) {
            if (!Ended)
                kill(Pid, SIGKILL);
            break;
        }
        std::vector<pollfd> P;
        for (auto& F : Fds)
            P.push_back({F.first, POLLIN, 0});
        // Once the child has ended, everything it wrote is in the pipes.
        const int Wait = Ended ? 0 : static_cast<int>(std::min<long long>(Left.count(), 50));
        const int Ready = poll(P.data(), P.size(), Wait);
        if (Ready == 0 && Ended)
            break;
        if (Ready <= 0)
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
    if (!Ended)
        waitpid(Pid, &S, 0);
    return WIFEXITED(S) ? WEXITSTATUS(S) : -1;
}

// Program and arguments as separate words (no shell), so names with blanks
// and quotes pass unchanged. Standard input is /dev/null, or Input (at
// most a pipe's buffer, 64 KiB) when given. Standard output is read, or goes
// to the file OutPath when one is given.
inline TChildRun RunChild(const std::vector<std::string>& Words, double LimitSeconds = 30,
                          const std::string* Input = nullptr, const char* OutPath = nullptr) {
    if (Words.empty())
        throw std::invalid_argument("RunChild: no program");
    std::vector<char*> V;
    for (const auto& W : Words)
        V.push_back(const_cast<char*>(W.c_str()));
    V.push_back(nullptr);
    if (Input && Input->size() > 65536)
        throw std::invalid_argument("RunChild: more input than a pipe holds");
    int Out[2], Err[2], In[2] = {-1, -1};
    if (pipe(Out) != 0 || pipe(Err) != 0 || (Input && pipe(In) != 0))
        throw std::runtime_error("pipe");
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = fork();
    if (Pid < 0)
        throw std::runtime_error("fork");
    if (Pid == 0) {
        if (Input) {
            dup2(In[0], 0);
            close(In[1]);
        } else {
            dup2(open("/dev/null", O_RDONLY), 0);
        }
        dup2(OutPath ? open(OutPath, O_WRONLY) : Out[1], 1);
        dup2(Err[1], 2);
        close(Out[0]);
        close(Err[0]);
        execv(V[0], V.data());
        _exit(127);
    }
    close(Out[1]);
    close(Err[1]);
    if (Input) {
        close(In[0]);
        const bool Whole = write(In[1], Input->data(), Input->size()) == static_cast<ssize_t>(Input->size());
        close(In[1]);
        if (!Whole)
            throw std::runtime_error("RunChild: the input could not be written");
    }
    TChildRun R;
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
inline TChildRun RunChildOnTerminal(const std::vector<std::string>& Words, const std::string& Typed = {},
                                    double LimitSeconds = 30) {
    if (Words.empty())
        throw std::invalid_argument("RunChildOnTerminal: no program");
    std::vector<char*> V;
    for (const auto& W : Words)
        V.push_back(const_cast<char*>(W.c_str()));
    V.push_back(nullptr);
    int Master = -1;
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = forkpty(&Master, nullptr, nullptr, nullptr);
    if (Pid < 0)
        throw std::runtime_error("forkpty");
    if (Pid == 0) {
        execv(V[0], V.data());
        _exit(127);
    }
    if (!Typed.empty() && write(Master, Typed.data(), Typed.size()) < 0)
        throw std::runtime_error("write to the terminal");
    TChildRun R;
    // Reading the master ends with EIO once the child has closed its side.
    R.Status = Collect(Pid, {{Master, &R.Out}}, LimitSeconds);
    R.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    return R;
}

} // namespace wdx::testing

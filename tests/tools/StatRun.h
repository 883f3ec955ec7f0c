#pragma once
// Runs WDXStat as a user does: as a process with its own standard output and
// error, without a terminal, or on a pseudo-terminal with typed answers.
// Every run is bounded in time and ends the process it started.

#include "support/ChildProcess.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace wdx::testing {

using TStatRun = TChildRun;

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

// Without a terminal: standard input is /dev/null; standard output is read,
// or goes to the file OutPath when one is given.
inline TStatRun RunStat(const std::vector<std::string>& Args, double LimitSeconds = 30,
                        const char* OutPath = nullptr) {
    std::vector<std::string> Words{WDX_STAT_TOOL};
    Words.insert(Words.end(), Args.begin(), Args.end());
    return RunChild(Words, LimitSeconds, nullptr, OutPath);
}

// On a pseudo-terminal (standard input, output and error), Typed written to
// it at the start. Out holds everything the terminal showed.
inline TStatRun RunStatOnTerminal(const std::vector<std::string>& Args, const std::string& Typed,
                                  double LimitSeconds = 30) {
    std::vector<std::string> Words{WDX_STAT_TOOL};
    Words.insert(Words.end(), Args.begin(), Args.end());
    return RunChildOnTerminal(Words, Typed, LimitSeconds);
}

} // namespace wdx::testing

#include "tools/platform/Platform.h"

#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace wdx::tools::platform {

std::vector<std::string> Arguments(int Argc, char** Argv) {
    return std::vector<std::string>(Argv, Argv + Argc);
}

std::filesystem::path FilePath(const std::string& Utf8) {
    return std::filesystem::path(Utf8);
}

void UseUtf8StandardStreams() {
    // Terminals take UTF-8 as it is written.
}

#if !defined(__linux__)
// Linux only (platform/posix/LargeBlocks.cpp, WDXStat's allocation functions).
void KeepNextFreedLargeBlock(bool) {}
#endif

void ReturnLargeBlocks() {
#if defined(__GLIBC__)
    // Fixing the threshold (at its default) also stops it from rising, and
    // the heap's top is then trimmed at 128 KiB of free memory: a list
    // written a slice at a time would give back and fault in the same pages
    // for every slice. Small blocks keep their pages up to 32 MiB.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
#endif
}

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

bool OutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool UtcTime(std::time_t Seconds, std::tm& Out) {
    return gmtime_r(&Seconds, &Out) != nullptr;
}

bool LocalTime(std::time_t Seconds, std::tm& Out) {
    return localtime_r(&Seconds, &Out) != nullptr;
}

long ProcessId() {
    return static_cast<long>(getpid());
}

bool MoveOver(const std::string& From, const std::string& To, std::string& Why) {
    if (std::rename(From.c_str(), To.c_str()) == 0)
        return true;
    Why = std::strerror(errno);
    return false;
}

void CatchStopSignals(void (*Handler)(int)) {
    struct sigaction Action {};
    Action.sa_handler = Handler;
    sigemptyset(&Action.sa_mask);
    sigaction(SIGINT, &Action, nullptr);
    sigaction(SIGTERM, &Action, nullptr);
}

} // namespace wdx::tools::platform

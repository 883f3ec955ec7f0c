#include "tools/StatOutput.h"

#include "tools/StatCommands.h"
#include "tools/platform/Platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>
#include <thread>

namespace wdx::tools {

namespace {
volatile std::sig_atomic_t GStop = 0;
bool GOutputFailed = false;

extern "C" void OnStopSignal(int) {
    GStop = 1;
}
} // namespace

bool Print(std::string_view Text) {
    if (GOutputFailed)
        return false;
    if (Text.empty())
        return true;
    errno = 0;
    std::cout.write(Text.data(), static_cast<std::streamsize>(Text.size()));
    std::cout.flush();
    if (std::cout)
        return true;
    const int Error = errno;
    GOutputFailed = true;
    Fail(std::string("the output could not be written") +
         (Error ? std::string(": ") + std::strerror(Error) : ""));
    return false;
}

bool OutputFailed() {
    return GOutputFailed;
}

int Fail(const std::string& Line) {
    std::cerr << "WDXStat: " << Line << "\n";
    return ExitFailed;
}

int Usage(const std::string& Line) {
    std::cerr << "WDXStat: " << Line << "\n";
    return ExitUsage;
}

bool OutputIsTerminal() {
    return platform::OutputIsTerminal();
}

bool InputIsTerminal() {
    return platform::InputIsTerminal();
}

std::string IsoTime(std::chrono::system_clock::time_point At) {
    using namespace std::chrono;
    const auto Millis = duration_cast<milliseconds>(At.time_since_epoch()).count();
    const std::time_t Seconds = static_cast<std::time_t>(Millis / 1000);
    std::tm Utc{};
    platform::UtcTime(Seconds, Utc);
    char Buf[40];
    const std::size_t N = std::strftime(Buf, sizeof Buf, "%Y-%m-%dT%H:%M:%S", &Utc);
    std::snprintf(Buf + N, sizeof Buf - N, ".%03dZ", static_cast<int>(Millis % 1000));
    return Buf;
}

std::string LocalTime(std::chrono::system_clock::time_point At) {
    const std::time_t Seconds = std::chrono::system_clock::to_time_t(At);
    std::tm Local{};
    platform::LocalTime(Seconds, Local);
    char Buf[40];
    std::strftime(Buf, sizeof Buf, "%Y-%m-%d %H:%M:%S", &Local);
    return Buf;
}

void CatchStopSignals() {
    platform::CatchStopSignals(OnStopSignal);
}

bool StopRequested() {
    return GStop != 0;
}

bool SleepUntil(std::chrono::steady_clock::time_point Until) {
    // Short naps, so that Ctrl+C ends a watch of an hour's interval at once.
    constexpr auto Nap = std::chrono::milliseconds(50);
    while (!StopRequested()) {
        const auto Now = std::chrono::steady_clock::now();
        if (Now >= Until)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(Nap, Until - Now));
    }
    return false;
}

} // namespace wdx::tools

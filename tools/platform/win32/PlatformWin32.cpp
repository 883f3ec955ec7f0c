#include "tools/platform/Platform.h"

#include "unicode/Utf.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <csignal>
#include <io.h>

namespace wdx::tools::platform {

namespace {
std::wstring Wide(const std::string& Text) {
    std::u16string u = unicode::Utf8ToUtf16(Text);
    return std::wstring(u.begin(), u.end());
}

// The system's own text for an error code, in UTF-8, without the line end.
std::string SystemMessage(DWORD Code) {
    wchar_t* Buf = nullptr;
    DWORD N = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Buf), 0, nullptr);
    std::u16string Text;
    if (N && Buf)
        Text.assign(reinterpret_cast<const char16_t*>(Buf), N);
    LocalFree(Buf);
    while (!Text.empty() && (Text.back() == u'\n' || Text.back() == u'\r' || Text.back() == u' '))
        Text.pop_back();
    if (Text.empty())
        return "error " + std::to_string(Code);
    return unicode::Utf16ToUtf8(Text);
}

void (*GHandler)(int) = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD Event) {
    if (!GHandler)
        return FALSE;
    GHandler(Event == CTRL_C_EVENT || Event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}
} // namespace

void ReturnLargeBlocks() {
    // Nothing to do: the Windows heap gives large blocks pages of their own
    // and returns them when they are freed.
}

std::vector<std::string> Arguments(int Argc, char** Argv) {
    int N = 0;
    wchar_t** Wide = CommandLineToArgvW(GetCommandLineW(), &N);
    if (!Wide)
        return std::vector<std::string>(Argv, Argv + Argc);
    std::vector<std::string> Out;
    for (int I = 0; I < N; ++I)
        Out.push_back(unicode::Utf16ToUtf8(reinterpret_cast<const char16_t*>(Wide[I])));
    LocalFree(Wide);
    return Out;
}

std::filesystem::path FilePath(const std::string& Utf8) {
    return std::filesystem::path(Wide(Utf8));
}

bool InputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool OutputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

bool UtcTime(std::time_t Seconds, std::tm& Out) {
    return gmtime_s(&Out, &Seconds) == 0;
}

bool LocalTime(std::time_t Seconds, std::tm& Out) {
    return localtime_s(&Out, &Seconds) == 0;
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

// rename() refuses to replace an existing file here; MoveFileExW replaces it
// in one step (on the same volume) and writes through before it returns.
bool MoveOver(const std::string& From, const std::string& To, std::string& Why) {
    if (MoveFileExW(Wide(From).c_str(), Wide(To).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    Why = SystemMessage(GetLastError());
    return false;
}

void CatchStopSignals(void (*Handler)(int)) {
    GHandler = Handler;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

} // namespace wdx::tools::platform

#include "tools/platform/Platform.h"

#include "unicode/Utf.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <streambuf>

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

// A standard handle written in UTF-8: to a console as UTF-16 text, to
// anything else as bytes. It keeps what it is given until it is flushed (or
// holds a good amount), so that a table goes out in one write.
class TUtf8Output final : public std::streambuf {
public:
    explicit TUtf8Output(DWORD Which) : FHandle(GetStdHandle(Which)) {
        DWORD Mode = 0;
        FConsole = FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE && GetConsoleMode(FHandle, &Mode);
        // The watch redraws with the terminal's escape sequences, which a
        // console interprets only when asked to (Windows 10 and later).
        if (FConsole)
            SetConsoleMode(FHandle, Mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }

protected:
    int_type overflow(int_type C) override {
        if (traits_type::eq_int_type(C, traits_type::eof()))
            return traits_type::not_eof(C);
        FPending.push_back(traits_type::to_char_type(C));
        return FPending.size() < Chunk || Flush() ? C : traits_type::eof();
    }
    std::streamsize xsputn(const char* Text, std::streamsize N) override {
        FPending.append(Text, static_cast<std::size_t>(N));
        return FPending.size() < Chunk || Flush() ? N : 0;
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    static constexpr std::size_t Chunk = 1 << 16;

    bool Flush() {
        if (FPending.empty())
            return true;
        const bool Done = FConsole ? WriteToConsole() : WriteBytes();
        if (!Done)
            FPending.clear(); // a closed pipe: the rest has nowhere to go either
        return Done;
    }

    bool WriteBytes() {
        for (std::size_t At = 0; At < FPending.size();) {
            DWORD Written = 0;
            const auto N = static_cast<DWORD>(std::min<std::size_t>(FPending.size() - At, Chunk));
            if (!WriteFile(FHandle, FPending.data() + At, N, &Written, nullptr) || Written == 0)
                return false;
            At += Written;
        }
        FPending.clear();
        return true;
    }

    bool WriteToConsole() {
        // A character cut at the end waits for the rest of its bytes.
        std::size_t Complete = FPending.size();
        for (std::size_t Back = 1; Back <= 3 && Back <= FPending.size(); ++Back) {
            const auto Byte = static_cast<unsigned char>(FPending[FPending.size() - Back]);
            if ((Byte & 0xC0) == 0x80)
                continue;
            const std::size_t Length = Byte >= 0xF0 ? 4 : Byte >= 0xE0 ? 3 : Byte >= 0xC0 ? 2 : 1;
            if (Length > Back)
                Complete -= Back;
            break;
        }
        const std::u16string Text = unicode::Utf8ToUtf16(std::string_view(FPending).substr(0, Complete));
        for (std::size_t At = 0; At < Text.size();) {
            DWORD Written = 0;
            // Consoles of older systems refuse very long writes.
            auto N = static_cast<DWORD>(std::min<std::size_t>(Text.size() - At, 8192));
            if (N > 1 && Text[At + N - 1] >= 0xD800 && Text[At + N - 1] <= 0xDBFF)
                --N; // a surrogate pair goes out whole
            if (!WriteConsoleW(FHandle, Text.data() + At, N, &Written, nullptr) || Written == 0)
                return false;
            At += Written;
        }
        FPending.erase(0, Complete);
        return true;
    }

    HANDLE FHandle;
    bool FConsole = false;
    std::string FPending;
};

void (*GHandler)(int) = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD Event) {
    if (!GHandler)
        return FALSE;
    GHandler(Event == CTRL_C_EVENT || Event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}
} // namespace

void KeepNextFreedLargeBlock(bool) {}

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

void UseUtf8StandardStreams() {
    // Never destroyed: the streams are flushed once more at exit, after
    // every object of main is gone.
    static auto* Out = new TUtf8Output(STD_OUTPUT_HANDLE);
    static auto* Err = new TUtf8Output(STD_ERROR_HANDLE);
    std::cout.rdbuf(Out);
    std::cerr.rdbuf(Err);
    _setmode(_fileno(stdin), _O_BINARY);
}

// A console, not any character device: _isatty() is true for NUL too, so
// input from NUL would be taken for someone to ask.
bool IsConsole(DWORD Which) {
    const HANDLE Handle = GetStdHandle(Which);
    DWORD Mode = 0;
    return Handle != nullptr && Handle != INVALID_HANDLE_VALUE && GetConsoleMode(Handle, &Mode);
}

bool InputIsTerminal() {
    return IsConsole(STD_INPUT_HANDLE);
}

bool OutputIsTerminal() {
    return IsConsole(STD_OUTPUT_HANDLE);
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

#pragma once
// Runs a command-line program the way a user does and collects its exit
// status and output (stdout and stderr together), no terminal on stdin.
// Arguments are written as shell words: blanks separate them, 'single quotes'
// keep blanks and backslashes. On Windows the program is started directly
// (CreateProcessW, the words quoted as the C runtime reads them back), so the
// same test texts serve both platforms.

#include "support/Environment.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include "unicode/Utf.h"

#include <windows.h>
#else
#include <cstdio>
#include <sys/wait.h>
#endif

namespace wdx::testsupport {

struct TRun {
    int Status = -1;
    std::string Output;
};

inline std::vector<std::string> ShellWords(const std::string& Args) {
    std::vector<std::string> Words;
    std::string Word;
    bool InWord = false, Quoted = false;
    for (char C : Args) {
        if (C == '\'') {
            Quoted = !Quoted;
            InWord = true;
        } else if (C == ' ' && !Quoted) {
            if (InWord)
                Words.push_back(Word);
            Word.clear();
            InWord = false;
        } else {
            Word += C;
            InWord = true;
        }
    }
    if (InWord)
        Words.push_back(Word);
    return Words;
}

#ifdef _WIN32
// One argument as CommandLineToArgvW and the C runtime read it back:
// backslashes are literal except before a quote.
inline std::u16string QuoteArgument(const std::u16string& Arg) {
    std::u16string Out = u"\"";
    std::size_t Slashes = 0;
    for (char16_t C : Arg) {
        if (C == u'\\') {
            ++Slashes;
            continue;
        }
        Out.append(C == u'"' ? 2 * Slashes + 1 : Slashes, u'\\');
        Slashes = 0;
        Out += C;
    }
    Out.append(2 * Slashes, u'\\');
    return Out + u"\"";
}

// The cross build names its programs by Unix paths; Wine shows the Unix root
// as drive Z:.
inline std::string WindowsPath(std::string Path) {
    if (!Path.empty() && Path[0] == '/')
        Path = "Z:" + Path;
    for (char& C : Path)
        if (C == '/')
            C = '\\';
    return Path;
}

// At most Seconds; a program still running then is ended (status -1).
inline TRun RunProgram(const std::string& Program, const std::string& Args, int Seconds = 30) {
    TRun R;
    std::u16string Line = QuoteArgument(unicode::Utf8ToUtf16(WindowsPath(Program)));
    for (const std::string& W : ShellWords(Args))
        Line += u" " + QuoteArgument(unicode::Utf8ToUtf16(W));
    SECURITY_ATTRIBUTES Inherit{sizeof Inherit, nullptr, TRUE};
    HANDLE ReadEnd = nullptr, WriteEnd = nullptr;
    if (!CreatePipe(&ReadEnd, &WriteEnd, &Inherit, 0))
        return R;
    SetHandleInformation(ReadEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE Nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &Inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW Start{};
    Start.cb = sizeof Start;
    Start.dwFlags = STARTF_USESTDHANDLES;
    Start.hStdInput = Nul;
    Start.hStdOutput = WriteEnd;
    Start.hStdError = WriteEnd;
    PROCESS_INFORMATION Proc{};
    std::wstring Cmd(Line.begin(), Line.end());
    BOOL Started = CreateProcessW(nullptr, Cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &Start, &Proc);
    CloseHandle(WriteEnd);
    CloseHandle(Nul);
    if (!Started) {
        CloseHandle(ReadEnd);
        return R;
    }
    char Buf[4096];
    DWORD N = 0;
    while (ReadFile(ReadEnd, Buf, sizeof Buf, &N, nullptr) && N > 0)
        R.Output.append(Buf, N);
    CloseHandle(ReadEnd);
    DWORD Code = 0;
    if (WaitForSingleObject(Proc.hProcess, DWORD(Seconds) * 1000) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(Proc.hProcess, &Code))
        R.Status = static_cast<int>(Code);
    else
        TerminateProcess(Proc.hProcess, 1);
    CloseHandle(Proc.hThread);
    CloseHandle(Proc.hProcess);
    // Read as a text-mode reader sees it (CR LF as LF), so the expected texts
    // are the same on both platforms whichever line ends the program writes.
    std::string Lines;
    for (std::size_t I = 0; I < R.Output.size(); ++I)
        if (!(R.Output[I] == '\r' && I + 1 < R.Output.size() && R.Output[I + 1] == '\n'))
            Lines += R.Output[I];
    R.Output = std::move(Lines);
    return R;
}
#else
// At most Seconds (timeout(1)); a program still running then ends with 124.
inline TRun RunProgram(const std::string& Program, const std::string& Args, int Seconds = 30) {
    TRun R;
    std::string Cmd =
        "timeout " + std::to_string(Seconds) + " '" + Program + "' " + Args + " 2>&1 </dev/null";
    FILE* P = popen(Cmd.c_str(), "r");
    if (!P)
        return R;
    char Buf[4096];
    size_t N;
    while ((N = fread(Buf, 1, sizeof Buf, P)) > 0)
        R.Output.append(Buf, N);
    int S = pclose(P);
    R.Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
    return R;
}
#endif

} // namespace wdx::testsupport

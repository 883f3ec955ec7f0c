#pragma once
// What the command-line tools ask of the operating system, one function each,
// with one implementation file per platform (posix/, win32/). Texts are UTF-8
// on every platform; the Windows side converts them exactly (wdx_unicode).
// Every function may be called from any thread except CatchStopSignals.

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace wdx::tools::platform {

// The program's arguments as UTF-8 (on Windows the command line's own
// UTF-16, not the code page's lossy narrow form), program name first.
std::vector<std::string> Arguments(int Argc, char** Argv);

// A file name given as UTF-8, as the platform's file functions take it.
std::filesystem::path FilePath(const std::string& Utf8);

// Makes standard output and error (std::cout, std::cerr) carry UTF-8 text
// as it is, and standard input give its bytes as they are. On Windows a
// console shows output through the console's UTF-16 calls, whatever its
// code page (the narrow calls would show UTF-8 as the code page's
// characters); a file or a pipe gets the very bytes (no CR added before LF,
// so CSV and .reg files keep their CRLF, and UTF-16 stays whole); input is
// read without the C runtime's text mode (which drops CR before LF and ends
// at a byte 0x1A). Call once at the start of main, before anything is read
// or written. Nothing to do on POSIX systems.
void UseUtf8StandardStreams();

// Whether standard input / output is a terminal (a console on Windows), not
// a file or a pipe.
bool InputIsTerminal();
bool OutputIsTerminal();

// The calendar time of Seconds in UTC and in the local time zone. False (and
// Out unchanged) when the platform cannot represent it.
bool UtcTime(std::time_t Seconds, std::tm& Out);
bool LocalTime(std::time_t Seconds, std::tm& Out);

// This process's number, for names of temporary files.
long ProcessId();

// Moves the file From to To, replacing To when it exists, in one step: a
// reader of To sees the old file or the new one, never a part. Both are on
// the same volume. On failure, false with the reason in Why; From is left.
bool MoveOver(const std::string& From, const std::string& To, std::string& Why);

// Large blocks go back to the system as soon as they are freed. By default
// the C library, once a large block (an answer's body) has been freed, keeps
// freed blocks up to that size in its heap, where a list's records grown
// afterwards leave them behind, resident and unused.
void ReturnLargeBlocks();

// Whether the next large block freed (an answer's body, once read) is kept
// as spare room for the large blocks that follow (a list's records), which
// then take its pages instead of new ones: for a list printed once and as
// it is, whose records are made right after its body is freed. A list
// sorted, tabled or sampled makes many more blocks of all sizes, which the
// C library places better. WDXStat on Linux only; nothing elsewhere.
void KeepNextFreedLargeBlock(bool Keep);

// Ctrl+C and the termination request call Handler (an async-signal-safe
// function: it may only set a flag) instead of ending the process.
void CatchStopSignals(void (*Handler)(int));

} // namespace wdx::tools::platform

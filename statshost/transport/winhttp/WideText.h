#pragma once
// UTF-8 to and from the wide texts of the Windows calls, and the system's
// texts for its error numbers, for the WinHTTP transport.

#include <windows.h>

#include <string>

namespace wdx::statshost {

// Empty when Text is empty or not UTF-8: a name is never guessed at.
inline std::wstring WidenUtf8(const std::string& Text) {
    if (Text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), static_cast<int>(Text.size()),
                                nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), static_cast<int>(Text.size()), out.data(),
                        n);
    return out;
}

inline std::string NarrowUtf8(const std::wstring& Text) {
    if (Text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// The system's text for Error (Module's own texts first, when given),
// without its closing period; empty when there is none (Wine has few).
inline std::string SystemText(DWORD Error, HMODULE Module = nullptr) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS | (Module ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                             Module, Error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n && text ? NarrowUtf8(std::wstring(text, n)) : std::string();
    if (text)
        LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace wdx::statshost

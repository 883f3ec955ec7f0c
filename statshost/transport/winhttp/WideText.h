#pragma once
// UTF-8 to and from the wide texts of the Windows calls, for the WinHTTP
// transport's paths, host names and system texts.

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

} // namespace wdx::statshost

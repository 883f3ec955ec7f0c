#pragma once
// Points both settings roots at places of their own for as long as it lives,
// then puts the environment back and removes them. Use one per test (a
// fixture member or a local), never the user's own store.
//
//   wdx::testsupport::TTempStore Store;   // WDX_USER_STORE / WDX_SYSTEM_STORE set
//   ... Store.UserPath(), Store.SystemPath(), Store.Dir() ...
//
// With SQLite the places are files in a fresh temporary folder (Dir()); they
// are not created: a missing file is an empty root. On Windows they are keys
// below HKEY_CURRENT_USER\Software\WDX-Tests\<the folder's name>, made by the
// first write as well; Dir() is a temporary folder there too.
// Exists, ExtraPath and UsePath let a test of the store's contract speak of
// a root's place without knowing what the back-end keeps there.

#include "registry/Registry.h"

#ifdef _WIN32
#include "unicode/Utf.h"

#include <windows.h>

#include <cwchar>
#include <random>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace wdx::testsupport {

class TTempStore {
public:
    TTempStore() {
        FDir = MakeTempDir();
        FSavedUser = GetVar("WDX_USER_STORE");
        FSavedSystem = GetVar("WDX_SYSTEM_STORE");
        UsePath(registry::TRegRoot::User, UserPath());
        UsePath(registry::TRegRoot::System, SystemPath());
        // Connections kept from an earlier test must not outlive its files.
        registry::ReleaseCachedConnections();
    }

    ~TTempStore() {
        registry::ReleaseCachedConnections();
        Restore("WDX_USER_STORE", FSavedUser);
        Restore("WDX_SYSTEM_STORE", FSavedSystem);
#ifdef _WIN32
        std::wstring Key = Wide(KeyBelowUser());
        RegDeleteTreeW(HKEY_CURRENT_USER, Key.c_str());
        // "Software\WDX-Tests" itself stays. Deleting it whenever it was empty
        // raced with a test in another process creating its own key below it:
        // RegCreateKeyExW creates a path one level at a time, so that test could
        // hold the parent just as it went, and its first write then failed with
        // ERROR_KEY_DELETED.
#endif
        std::error_code Ec;
        std::filesystem::permissions(FDir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ec);
        std::filesystem::remove_all(FDir, Ec);
    }

    TTempStore(const TTempStore&) = delete;
    TTempStore& operator=(const TTempStore&) = delete;

    const std::string& Dir() const {
        return FDir;
    }
#ifdef _WIN32
    std::string UserPath() const {
        return ExtraPath("User");
    }
    std::string SystemPath() const {
        return ExtraPath("System");
    }
    // A further place for a root, inside this temporary store.
    std::string ExtraPath(const std::string& Name) const {
        return "HKEY_CURRENT_USER\\" + KeyBelowUser() + "\\" + Name;
    }
    // Whether the store at Path has been made (by a first write).
    static bool Exists(const std::string& Path) {
        const std::string Prefix = "HKEY_CURRENT_USER\\";
        if (Path.rfind(Prefix, 0) != 0)
            throw std::runtime_error("not a place of a test store: " + Path);
        HKEY H = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(Path.substr(Prefix.size())).c_str(), 0,
                          KEY_READ | KEY_WOW64_32KEY, &H) != ERROR_SUCCESS)
            return false;
        RegCloseKey(H);
        return true;
    }
#else
    std::string UserPath() const {
        return FDir + "/user.sqlite";
    }
    std::string SystemPath() const {
        return FDir + "/system.sqlite";
    }
    std::string ExtraPath(const std::string& Name) const {
        return FDir + "/" + Name + ".sqlite";
    }
    static bool Exists(const std::string& Path) {
        return std::filesystem::exists(Path);
    }
#endif

    // Points Root at Path (until the next call, or the end of this store).
    static void UsePath(registry::TRegRoot Root, const std::string& Path) {
        SetVar(Root == registry::TRegRoot::User ? "WDX_USER_STORE" : "WDX_SYSTEM_STORE", Path);
    }

private:
#ifdef _WIN32
    static std::wstring Wide(const std::string& Utf8) {
        std::u16string U = unicode::Utf8ToUtf16(Utf8);
        return std::wstring(U.begin(), U.end());
    }
    std::string KeyBelowUser() const {
        return "Software\\WDX-Tests\\" + std::filesystem::path(FDir).filename().string();
    }
    static std::string MakeTempDir() {
        std::filesystem::path Base = std::filesystem::temp_directory_path();
        std::random_device Random;
        for (int I = 0; I < 100; ++I) {
            std::filesystem::path Dir = Base / ("wdx-store-" + std::to_string(Random() % 1000000000u));
            std::error_code Ec;
            if (std::filesystem::create_directory(Dir, Ec))
                return Dir.string();
        }
        throw std::runtime_error("cannot create a temporary folder in " + Base.string());
    }
    static std::optional<std::string> GetVar(const char* Name) {
        const wchar_t* V = _wgetenv(Wide(Name).c_str());
        if (!V)
            return std::nullopt;
        return unicode::Utf16ToUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(V), std::wcslen(V)));
    }
    static void SetVar(const char* Name, const std::string& Value) {
        _wputenv_s(Wide(Name).c_str(), Wide(Value).c_str());
    }
    static void Restore(const char* Name, const std::optional<std::string>& Value) {
        SetVar(Name, Value ? *Value : std::string()); // empty removes it
    }
#else
    static std::string MakeTempDir() {
        const char* Tmp = std::getenv("TMPDIR");
        std::string Pattern = std::string(Tmp && *Tmp ? Tmp : "/tmp") + "/wdx-store-XXXXXX";
        if (!mkdtemp(Pattern.data()))
            throw std::runtime_error("cannot create a temporary folder from " + Pattern);
        return Pattern;
    }
    static std::optional<std::string> GetVar(const char* Name) {
        const char* V = std::getenv(Name);
        return V ? std::optional<std::string>(V) : std::nullopt;
    }
    static void SetVar(const char* Name, const std::string& Value) {
        setenv(Name, Value.c_str(), 1);
    }
    static void Restore(const char* Name, const std::optional<std::string>& Value) {
        if (Value)
            setenv(Name, Value->c_str(), 1);
        else
            unsetenv(Name);
    }
#endif

    std::string FDir;
    std::optional<std::string> FSavedUser;
    std::optional<std::string> FSavedSystem;
};

} // namespace wdx::testsupport

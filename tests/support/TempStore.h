#pragma once
// Points both settings roots at files in a fresh temporary folder for as long
// as it lives, then puts the environment back and removes the folder. Use one
// per test (a fixture member or a local), never the user's own store files.
//
//   wdx::testsupport::TTempStore Store;   // WDX_USER_STORE / WDX_SYSTEM_STORE set
//   ... Store.UserPath(), Store.SystemPath(), Store.Dir() ...
//
// The files themselves are not created: a missing file is an empty root.
// Exists, ExtraPath and UsePath let a test of the store's contract speak of
// a root's place without knowing what the back-end keeps there.

#include "registry/Registry.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace wdx::testsupport {

class TTempStore {
public:
    TTempStore() {
        const char* Tmp = std::getenv("TMPDIR");
        std::string Pattern = std::string(Tmp && *Tmp ? Tmp : "/tmp") + "/wdx-store-XXXXXX";
        if (!mkdtemp(Pattern.data()))
            throw std::runtime_error("cannot create a temporary folder from " + Pattern);
        FDir = Pattern;
        FSavedUser = Save("WDX_USER_STORE");
        FSavedSystem = Save("WDX_SYSTEM_STORE");
        setenv("WDX_USER_STORE", UserPath().c_str(), 1);
        setenv("WDX_SYSTEM_STORE", SystemPath().c_str(), 1);
        // Connections kept from an earlier test must not outlive its files.
        registry::ReleaseCachedConnections();
    }

    ~TTempStore() {
        registry::ReleaseCachedConnections();
        Restore("WDX_USER_STORE", FSavedUser);
        Restore("WDX_SYSTEM_STORE", FSavedSystem);
        std::error_code Ec;
        std::filesystem::permissions(FDir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ec);
        std::filesystem::remove_all(FDir, Ec);
    }

    TTempStore(const TTempStore&) = delete;
    TTempStore& operator=(const TTempStore&) = delete;

    const std::string& Dir() const { return FDir; }
    std::string UserPath() const { return FDir + "/user.sqlite"; }
    std::string SystemPath() const { return FDir + "/system.sqlite"; }

    // Whether the store at Path has been made (by a first write).
    static bool Exists(const std::string& Path) { return std::filesystem::exists(Path); }
    // A further place for a root, inside this temporary store.
    std::string ExtraPath(const std::string& Name) const { return FDir + "/" + Name + ".sqlite"; }
    // Points Root at Path (until the next call, or the end of this store).
    static void UsePath(registry::TRegRoot Root, const std::string& Path) {
        setenv(Root == registry::TRegRoot::User ? "WDX_USER_STORE" : "WDX_SYSTEM_STORE", Path.c_str(), 1);
    }

private:
    static std::optional<std::string> Save(const char* Name) {
        const char* V = std::getenv(Name);
        return V ? std::optional<std::string>(V) : std::nullopt;
    }
    static void Restore(const char* Name, const std::optional<std::string>& Value) {
        if (Value)
            setenv(Name, Value->c_str(), 1);
        else
            unsetenv(Name);
    }

    std::string FDir;
    std::optional<std::string> FSavedUser;
    std::optional<std::string> FSavedSystem;
};

} // namespace wdx::testsupport

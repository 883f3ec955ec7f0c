#include "AdminTestSupport.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wdx::clntadmin::test {

TStoreLock::TStoreLock(const std::string& Path) : FOldTimeout(registry::BusyTimeout()) {
    registry::SetBusyTimeout(std::chrono::milliseconds(50));
    FHeld = sqlite3_open_v2(Path.c_str(), &FDb, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

TStoreLock::~TStoreLock() {
    if (FHeld)
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(FDb);
    registry::SetBusyTimeout(FOldTimeout);
}

namespace {
uid_t NobodyUid() {
    const passwd* pw = getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}
gid_t NobodyGid() {
    const passwd* pw = getpwnam("nobody");
    return pw ? pw->pw_gid : 65534;
}
} // namespace

TNoSystemWriteRight::TNoSystemWriteRight(const testsupport::TTempStore& Store) : FStore(Store) {
    EXPECT_EQ(access(Store.UserPath().c_str(), F_OK), 0) << "the User store file must exist";
    EXPECT_EQ(access(Store.SystemPath().c_str(), F_OK), 0) << "the System store file must exist";
    // A connection kept from before must not carry the old rights along.
    registry::ReleaseCachedConnections();
    FRoot = geteuid() == 0;
    if (FRoot) {
        // The folder and the User file are handed over; the System file
        // stays root's, readable by all.
        if (chown(Store.Dir().c_str(), NobodyUid(), NobodyGid()) != 0 ||
            chown(Store.UserPath().c_str(), NobodyUid(), NobodyGid()) != 0 ||
            chmod(Store.Dir().c_str(), 0755) != 0 || chmod(Store.SystemPath().c_str(), 0644) != 0)
            return;
        // The destructor takes both back, whichever of them changed.
        if (setegid(NobodyGid()) != 0 || seteuid(NobodyUid()) != 0)
            return;
    } else if (chmod(Store.SystemPath().c_str(), 0444) != 0) {
        return;
    }
    FUsable = faccessat(AT_FDCWD, Store.Dir().c_str(), W_OK | X_OK, AT_EACCESS) == 0 &&
              faccessat(AT_FDCWD, Store.UserPath().c_str(), R_OK | W_OK, AT_EACCESS) == 0 &&
              faccessat(AT_FDCWD, Store.SystemPath().c_str(), R_OK, AT_EACCESS) == 0 &&
              faccessat(AT_FDCWD, Store.SystemPath().c_str(), W_OK, AT_EACCESS) != 0;
}

TNoSystemWriteRight::~TNoSystemWriteRight() {
    registry::ReleaseCachedConnections();
    if (FRoot) {
        EXPECT_EQ(seteuid(0), 0);
        EXPECT_EQ(setegid(0), 0);
        EXPECT_EQ(chown(FStore.Dir().c_str(), 0, 0), 0);
    } else {
        chmod(FStore.SystemPath().c_str(), 0644);
    }
}

} // namespace wdx::clntadmin::test

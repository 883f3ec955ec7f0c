// The System store's folder as the package makes it: root-owned, shared with
// a group through set-group-ID and group write. Real accounts (made here, and
// removed again) write from child processes: a member's first save must leave
// a file the other members can write, and an outsider only reads.
#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

using namespace wdx::registry;

namespace {

int Run(const std::string& Command) {
    return std::system((Command + " >/dev/null 2>&1").c_str());
}

// A group and accounts that exist for one test.
struct TAccounts {
    std::string Group, Member, Other, Outsider;
    bool Made = false;
    TAccounts() {
        const std::string tag = std::to_string(std::random_device{}() % 1000000);
        Group = "wdxg" + tag;
        Member = "wdxm" + tag;
        Other = "wdxn" + tag;
        Outsider = "wdxo" + tag;
        Made = Run("groupadd --system " + Group) == 0 &&
               Run("useradd --system --no-create-home -G " + Group + " " + Member) == 0 &&
               Run("useradd --system --no-create-home -G " + Group + " " + Other) == 0 &&
               Run("useradd --system --no-create-home " + Outsider) == 0;
    }
    ~TAccounts() {
        for (const std::string& u : {Member, Other, Outsider})
            Run("userdel " + u);
        Run("groupdel " + Group);
    }
};

// Runs Work as User (with the user's groups) in a child process; its result
// is the child's exit status.
template <class F> int AsUser(const std::string& User, F Work) {
    const passwd* pw = getpwnam(User.c_str());
    if (!pw)
        return -1;
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    pid_t pid = fork();
    if (pid == 0) {
        umask(022); // the usual umask, which alone would leave the file the creator's
        if (initgroups(User.c_str(), gid) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(99);
        ReleaseCachedConnections();
        _exit(Work() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(SharedStoreFolder, MembersWriteOutsidersRead) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make the accounts";
    TAccounts accounts;
    if (!accounts.Made)
        GTEST_SKIP() << "cannot make accounts here (groupadd/useradd)";
    const group* gr = getgrnam(accounts.Group.c_str());
    ASSERT_TRUE(gr);

    char tmpl[] = "/tmp/wdx-shared-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::filesystem::path top(tmpl), dir = top / "wdx";
    ASSERT_EQ(chmod(tmpl, 0755), 0);
    ASSERT_EQ(mkdir(dir.c_str(), 0775), 0);
    ASSERT_EQ(chown(dir.c_str(), 0, gr->gr_gid), 0);
    ASSERT_EQ(chmod(dir.c_str(), 02775), 0);
    const std::string store = (dir / "system-store.sqlite").string();
    setenv("WDX_SYSTEM_STORE", store.c_str(), 1);
    const char* key = "SOFTWARE\\Corvanta\\VKR_Client\\B1";

    // The first save of a member creates the file, the group's to write.
    EXPECT_EQ(AsUser(accounts.Member, [&] { return WriteText(TRegRoot::System, key, "HostName", "one"); }),
              0);
    struct stat st {};
    ASSERT_EQ(stat(store.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, gr->gr_gid);
    EXPECT_TRUE(st.st_mode & S_IWGRP);
    EXPECT_FALSE(st.st_mode & S_IWOTH);

    // Another member changes and deletes there.
    EXPECT_EQ(AsUser(accounts.Other,
                     [&] {
                         return WriteText(TRegRoot::System, key, "Port", "7563") &&
                                DeleteValue(TRegRoot::System, key, "HostName");
                     }),
              0);

    // Anyone else reads, and is refused writing; the file stays as it was.
    EXPECT_EQ(AsUser(accounts.Outsider,
                     [&] {
                         std::string port;
                         TRegError error{};
                         return ReadText(TRegRoot::System, key, "Port", port) && port == "7563" &&
                                !WriteText(TRegRoot::System, key, "Port", "1", &error) &&
                                error == TRegError::AccessDenied;
                     }),
              0);
    std::string port;
    ReleaseCachedConnections();
    EXPECT_TRUE(ReadText(TRegRoot::System, key, "Port", port));
    EXPECT_EQ(port, "7563");
    unsetenv("WDX_SYSTEM_STORE");
    std::filesystem::remove_all(top);
}

// Outside a shared folder a new file keeps what the umask gives.
TEST(SharedStoreFolder, OtherFoldersKeepTheUmask) {
    char tmpl[] = "/tmp/wdx-plain-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string store = std::string(tmpl) + "/s.sqlite";
    setenv("WDX_SYSTEM_STORE", store.c_str(), 1);
    const mode_t old = umask(022);
    EXPECT_TRUE(WriteText(TRegRoot::System, "A", "v", "1"));
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(store.c_str(), &st), 0);
    EXPECT_FALSE(st.st_mode & S_IWGRP);
    ReleaseCachedConnections();
    unsetenv("WDX_SYSTEM_STORE");
    std::filesystem::remove_all(tmpl);
}

} // namespace

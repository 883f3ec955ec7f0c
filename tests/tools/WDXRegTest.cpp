// The command-line tool as a user runs it: exit status, messages, effects.

#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace wdx::registry;

namespace {

struct TRun {
    int Status = -1;
    std::string Output; // stdout and stderr together
};

// Runs WDXReg with Args (shell words), no terminal on stdin, at most 30 s.
TRun WDXReg(const std::string& Args) {
    TRun R;
    std::string Cmd = "timeout 30 " WDX_REG_TOOL " " + Args + " 2>&1 </dev/null";
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

bool Has(const TRun& R, const std::string& Part) { return R.Output.find(Part) != std::string::npos; }

class WDXRegTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

} // namespace

TEST_F(WDXRegTest, AddQueryDeleteInBothRoots) {
    EXPECT_EQ(WDXReg("add 'HKCU\\SOFTWARE\\Corvanta\\VKR_Client\\B1' -v HostName -d 'h1.example.net'").Status, 0);
    EXPECT_EQ(WDXReg("add --system 'SOFTWARE\\Corvanta\\VKR_Client' -v ClientDir -d '/opt/npx'").Status, 0);
    EXPECT_EQ(WDXReg("add 'HKLM\\SOFTWARE\\Corvanta\\VKR_Client' -v Disable8dot3Check -t REG_DWORD -d 0x1").Status, 0);
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\B1", "HostName", Text));
    EXPECT_EQ(Text, "h1.example.net");
    std::int32_t N = 0;
    ASSERT_TRUE(ReadInt32(TRegRoot::System, "SOFTWARE\\Corvanta\\VKR_Client", "Disable8dot3Check", N));
    EXPECT_EQ(N, 1);

    TRun Q = WDXReg("query 'HKLM\\SOFTWARE\\Corvanta\\VKR_Client'");
    EXPECT_EQ(Q.Status, 0);
    EXPECT_TRUE(Has(Q, "    ClientDir    REG_SZ    /opt/npx\n")) << Q.Output;
    EXPECT_TRUE(Has(Q, "    Disable8dot3Check    REG_DWORD    0x1\n")) << Q.Output;
    Q = WDXReg("query --user 'SOFTWARE\\Corvanta\\VKR_Client'");
    EXPECT_TRUE(Has(Q, "HKEY_CURRENT_USER\\SOFTWARE\\Corvanta\\VKR_Client\\B1\n")) << Q.Output;
    Q = WDXReg("query 'HKCU\\SOFTWARE' -s");
    EXPECT_TRUE(Has(Q, "    HostName    REG_SZ    h1.example.net")) << Q.Output;
    Q = WDXReg("query 'HKCU\\SOFTWARE\\Corvanta\\VKR_Client\\B1' -v hostname");
    EXPECT_EQ(Q.Status, 0);
    EXPECT_TRUE(Has(Q, "HostName    REG_SZ")) << Q.Output;

    // An existing value is not overwritten without -f (no terminal to ask).
    TRun A = WDXReg("add 'HKCU\\SOFTWARE\\Corvanta\\VKR_Client\\B1' -v HostName -d other");
    EXPECT_EQ(A.Status, 1);
    EXPECT_TRUE(Has(A, "-f")) << A.Output;
    EXPECT_EQ(WDXReg("add 'HKCU\\SOFTWARE\\Corvanta\\VKR_Client\\B1' -v HostName -d other -f").Status, 0);

    TRun D = WDXReg("delete 'HKCU\\SOFTWARE\\Corvanta'");
    EXPECT_EQ(D.Status, 1);
    EXPECT_TRUE(KeyExists(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\B1"));
    EXPECT_EQ(WDXReg("delete 'HKLM\\SOFTWARE\\Corvanta\\VKR_Client' -v ClientDir -f").Status, 0);
    EXPECT_FALSE(ReadText(TRegRoot::System, "SOFTWARE\\Corvanta\\VKR_Client", "ClientDir", Text));
    EXPECT_EQ(WDXReg("delete 'HKCU\\SOFTWARE\\Corvanta' -f").Status, 0);
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE\\Corvanta"));
}

TEST_F(WDXRegTest, BadArgumentsAndFailuresHaveMessagesAndStatus) {
    struct {
        const char* Args;
        int Status;
        const char* Message;
    } Cases[] = {
        {"", 2, "A subcommand is required"},
        {"query 'SOFTWARE'", 2, "say which root"},
        {"query --user 'HKLM\\SOFTWARE'", 2, "the key names one root"},
        {"query --user --system 'SOFTWARE'", 2, "excludes"},
        {"add 'HKCU\\K' -v N -t REG_DWORD -d 12abc", 2, "REG_DWORD data"},
        {"add 'HKCU\\K' -v N -t REG_DWORD -d 4294967296", 2, "REG_DWORD data"},
        {"add 'HKCU\\K' -v N -t REG_BINARY -d 00", 2, "unsupported type"},
        {"query 'HKCU\\Missing'", 1, "not found: HKEY_CURRENT_USER\\Missing"},
        {"query 'HKCU\\' -v Missing", 1, "value not found"},
        {"delete 'HKCU\\Missing' -f", 1, "not found"},
        {"delete 'HKCU' -f", 1, "root key cannot be deleted"},
        {"import /nonexistent.reg", 1, "cannot read /nonexistent.reg"},
        {"export 'HKCU\\Missing' /tmp/never-written.reg", 1, "key not found"},
    };
    for (auto C : Cases) {
        TRun R = WDXReg(C.Args);
        EXPECT_EQ(R.Status, C.Status) << C.Args << "\n" << R.Output;
        EXPECT_TRUE(Has(R, C.Message)) << C.Args << "\n" << R.Output;
    }
    EXPECT_FALSE(KeyExists(TRegRoot::User, "K"));
}

TEST_F(WDXRegTest, RefusedWriteIsAFailure) {
    std::ofstream(Store.Dir() + "/plainfile") << "x";
    setenv("WDX_SYSTEM_STORE", (Store.Dir() + "/plainfile/system.sqlite").c_str(), 1);
    TRun R = WDXReg("add 'HKLM\\SOFTWARE\\X' -v V -d 1");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "cannot create the folder")) << R.Output;
}

TEST_F(WDXRegTest, ExportAndImportFilesBothEncodings) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\Ü1", "HostName", "h"));
    ASSERT_TRUE(WriteInt32(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\Ü1", "N", 7));
    std::string U16 = Store.Dir() + "/u16.reg", U8 = Store.Dir() + "/u8.reg";
    EXPECT_EQ(WDXReg("export 'HKCU\\SOFTWARE\\Corvanta' '" + U16 + "'").Status, 0);
    EXPECT_EQ(WDXReg("export 'HKCU\\SOFTWARE\\Corvanta' '" + U8 + "' --utf8").Status, 0);
    TRun Again = WDXReg("export 'HKCU\\SOFTWARE\\Corvanta' '" + U8 + "' --utf8");
    EXPECT_EQ(Again.Status, 1) << "an existing file needs -y";
    std::stringstream A, B;
    A << std::ifstream(U16, std::ios::binary).rdbuf();
    B << std::ifstream(U8, std::ios::binary).rdbuf();
    EXPECT_EQ(A.str().substr(0, 4), std::string("\xff\xfeW\0", 4));
    EXPECT_EQ(B.str().rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Corvanta]", 0), 0u);

    for (const std::string& File : {U16, U8}) {
        ASSERT_TRUE(DeleteKey(TRegRoot::User, "SOFTWARE"));
        TRun I = WDXReg("import '" + File + "'");
        EXPECT_EQ(I.Status, 0) << I.Output;
        std::int32_t N = 0;
        EXPECT_TRUE(ReadInt32(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\ü1", "N", N));
        EXPECT_EQ(N, 7);
    }

    std::ofstream(Store.Dir() + "/bad.reg") << "Windows Registry Editor Version 5.00\n[HKCU\\New]\n\"a\"=\"1\"\n\"b\"=dword:xyz\n";
    TRun Bad = WDXReg("import '" + Store.Dir() + "/bad.reg'");
    EXPECT_EQ(Bad.Status, 1);
    EXPECT_TRUE(Has(Bad, "line 4")) << Bad.Output;
    EXPECT_FALSE(KeyExists(TRegRoot::User, "New"));
}

// The command-line tool as a user runs it: exit status, messages, effects.

#include "RegRun.h"
#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "unicode/Utf.h"

#include <windows.h>
// after windows.h
#include <sddl.h>
#endif

#include <fstream>
#include <sstream>

using namespace wdx::registry;

namespace {

using wdx::testsupport::TRun;

// Runs WDXReg with Args (shell words), no terminal on stdin, at most 30 s.
TRun WDXReg(const std::string& Args) {
    return wdx::testsupport::RunProgram(WDX_REG_TOOL, Args);
}

bool Has(const TRun& R, const std::string& Part) {
    return R.Output.find(Part) != std::string::npos;
}

class WDXRegTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

} // namespace

TEST_F(WDXRegTest, AddQueryDeleteInBothRoots) {
    EXPECT_EQ(WDXReg("add 'HKCU\\SOFTWARE\\Corvanta\\VKR_Client\\B1' -v HostName -d 'h1.example.net'").Status,
              0);
    EXPECT_EQ(WDXReg("add --system 'SOFTWARE\\Corvanta\\VKR_Client' -v ClientDir -d '/opt/npx'").Status, 0);
    EXPECT_EQ(
        WDXReg("add 'HKLM\\SOFTWARE\\Corvanta\\VKR_Client' -v Disable8dot3Check -t REG_DWORD -d 0x1").Status,
        0);
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
#ifdef _WIN32
    // The registry gives a value read by name back under the name asked for.
    EXPECT_TRUE(Has(Q, "hostname    REG_SZ")) << Q.Output;
#else
    EXPECT_TRUE(Has(Q, "HostName    REG_SZ")) << Q.Output; // as stored
#endif

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

// A write the store refuses: exit status 1, the store's reason, nothing
// written. With SQLite the System store's folder cannot be made (a plain file
// is in the way); on Windows the key's access list denies writing.
TEST_F(WDXRegTest, RefusedWriteIsAFailure) {
#ifdef _WIN32
    ASSERT_TRUE(WriteText(TRegRoot::System, "Locked", "Old", "1"));
    const std::string Place =
        Store.SystemPath().substr(std::string("HKEY_CURRENT_USER\\").size()) + "\\Locked";
    std::u16string Wide = wdx::unicode::Utf8ToUtf16(Place);
    HKEY H = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(Wide.c_str()), 0,
                            WRITE_DAC | KEY_WOW64_32KEY, &H),
              ERROR_SUCCESS);
    auto SetAccess = [H](const wchar_t* Sddl) {
        PSECURITY_DESCRIPTOR Sd = nullptr;
        ASSERT_TRUE(
            ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl, SDDL_REVISION_1, &Sd, nullptr));
        EXPECT_EQ(RegSetKeySecurity(H, DACL_SECURITY_INFORMATION, Sd), ERROR_SUCCESS);
        LocalFree(Sd);
    };
    SetAccess(L"D:P(A;;KR;;;WD)"); // everyone may read, nobody write
    TRun R = WDXReg("add 'HKLM\\Locked' -v V -d 1");
    TRun Sub = WDXReg("add 'HKLM\\Locked\\Sub'");
    SetAccess(L"D:P(A;;KA;;;WD)"); // back, so that the test store can be removed
    RegCloseKey(H);
    EXPECT_EQ(R.Status, 1) << R.Output;
    EXPECT_TRUE(Has(R, "denied")) << R.Output;
    EXPECT_EQ(Sub.Status, 1) << Sub.Output;
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::System, "Locked", "V", Text));
    EXPECT_FALSE(KeyExists(TRegRoot::System, "Locked\\Sub"));
#else
    std::ofstream(Store.Dir() + "/plainfile") << "x";
    wdx::testsupport::SetEnv("WDX_SYSTEM_STORE", Store.Dir() + "/plainfile/system.sqlite");
    TRun R = WDXReg("add 'HKLM\\SOFTWARE\\X' -v V -d 1");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "cannot create the folder")) << R.Output;
#endif
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
    EXPECT_EQ(B.str().rfind(
                  "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Corvanta]", 0),
              0u);

    for (const std::string& File : {U16, U8}) {
        ASSERT_TRUE(DeleteKey(TRegRoot::User, "SOFTWARE"));
        TRun I = WDXReg("import '" + File + "'");
        EXPECT_EQ(I.Status, 0) << I.Output;
        std::int32_t N = 0;
        EXPECT_TRUE(ReadInt32(TRegRoot::User, "SOFTWARE\\Corvanta\\VKR_Client\\ü1", "N", N));
        EXPECT_EQ(N, 7);
    }

    std::ofstream(Store.Dir() + "/bad.reg")
        << "Windows Registry Editor Version 5.00\n[HKCU\\New]\n\"a\"=\"1\"\n\"b\"=dword:xyz\n";
    TRun Bad = WDXReg("import '" + Store.Dir() + "/bad.reg'");
    EXPECT_EQ(Bad.Status, 1);
    EXPECT_TRUE(Has(Bad, "line 4")) << Bad.Output;
    EXPECT_FALSE(KeyExists(TRegRoot::User, "New"));
}

namespace {

// A .reg file (UTF-8): HKCU\Deep (level 1, no values) and a chain of keys
// below it down to level Depth, each with a value "Level" (its number,
// written as if it were hexadecimal).
std::string DeepRegFile(int Depth) {
    std::string Text = "Windows Registry Editor Version 5.00\r\n\r\n", Path = "HKEY_CURRENT_USER\\Deep";
    for (int I = 1; I < Depth; ++I) {
        Path += "\\k" + std::to_string(I);
        Text += "[" + Path + "]\r\n\"Level\"=dword:" + std::string(8 - std::to_string(I).size(), '0') +
                std::to_string(I) + "\r\n\r\n";
    }
    return Text;
}

} // namespace

TEST_F(WDXRegTest, AddAndImportRefuseWhatIsPastTheRegistryLimits) {
    TRun R = WDXReg("add 'HKCU\\SOFTWARE\\" + std::string(256, 'k') + "' -v V -d 1");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "a key name has at most 255 characters")) << R.Output;
    R = WDXReg("add 'HKCU\\SOFTWARE' -v " + std::string(16384, 'v') + " -d 1");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "a value name has at most 16,383 characters")) << R.Output.substr(0, 300);
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE"));

    // One line past a limit, after good ones: nothing at all is imported.
    const std::string File = Store.Dir() + "/limits.reg";
    std::ofstream(File)
        << "Windows Registry Editor Version 5.00\n\n[HKCU\\Good]\n\"a\"=\"1\"\n\n[HKCU\\Good\\"
        << std::string(300, 'x') << "]\n";
    R = WDXReg("import '" + File + "'");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "line 6: a key name has at most 255 characters")) << R.Output;
    EXPECT_TRUE(Has(R, "nothing was imported")) << R.Output;
    std::ofstream(File) << "Windows Registry Editor Version 5.00\n\n[HKCU\\Good]\n\""
                        << std::string(16384, 'n') << "\"=\"1\"\n";
    R = WDXReg("import '" + File + "'");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "line 3: a value name has at most 16,383 characters")) << R.Output.substr(0, 300);
    std::ofstream(File, std::ios::binary | std::ios::trunc) << DeepRegFile(514);
    R = WDXReg("import '" + File + "'");
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R, "line 1536: a key path has at most 512 levels")) << R.Output.substr(0, 300);
    EXPECT_FALSE(KeyExists(TRegRoot::User, "Good"));
    EXPECT_FALSE(KeyExists(TRegRoot::User, "Deep"));
}

// The deepest tree the store allows comes back from export and query -s
// whole and in order (these used to reopen every key from the root).
TEST_F(WDXRegTest, DeepestTreeExportsAndListsWhole) {
#ifdef _WIN32
    // The registry counts levels from its own root, and a test store lies
    // five levels below HKEY_CURRENT_USER: its deepest tree is shallower.
    GTEST_SKIP() << "the test store is not at the registry's root";
#endif
    const std::string In = Store.Dir() + "/deep.reg", Out = Store.Dir() + "/out.reg";
    std::ofstream(In, std::ios::binary) << DeepRegFile(512);
    TRun R = WDXReg("import '" + In + "'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    R = WDXReg("export 'HKCU\\Deep' '" + Out + "' --utf8");
    ASSERT_EQ(R.Status, 0) << R.Output;
    std::stringstream Got;
    Got << std::ifstream(Out, std::ios::binary).rdbuf();
    // The file written has the top key, without values, before the others.
    std::string Want = DeepRegFile(512);
    Want.insert(Want.find("\r\n\r\n") + 4, "[HKEY_CURRENT_USER\\Deep]\r\n\r\n");
    EXPECT_EQ(Got.str(), Want);

    R = WDXReg("query 'HKCU\\Deep' -s");
    ASSERT_EQ(R.Status, 0);
    size_t Blocks = 0;
    for (size_t Pos = 0; (Pos = R.Output.find("\nHKEY_CURRENT_USER\\Deep", Pos)) != std::string::npos; ++Pos)
        ++Blocks;
    EXPECT_EQ(Blocks, 512u);
    EXPECT_TRUE(Has(R, "\\k511\n    Level    REG_DWORD    0x511\n"))
        << R.Output.substr(R.Output.size() - 300);
}

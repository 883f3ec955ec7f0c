// WDXReg.exe and the platform's own reg.exe, which none of us wrote, read
// each other's .reg files: names and texts beyond ASCII, numbers and the
// default value come back the same. Windows only.

#include "RegRun.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

using wdx::testsupport::RunProgram;
using wdx::testsupport::TRun;

TRun WDXReg(const std::string& Args) {
    return RunProgram(WDX_REG_TOOL, Args);
}

TRun RegExe(const std::string& Args) {
    return RunProgram("reg.exe", Args);
}

} // namespace

TEST(RegPeer, WDXRegAndRegExeReadEachOthersFiles) {
    // The real HKEY_CURRENT_USER (of the test's own Wine prefix or user), in
    // a key of this test's own that goes at the end.
    wdx::testsupport::SetEnv("WDX_USER_STORE", "");
    const std::string Below = "Software\\WDX-Peer-" + std::to_string(GetCurrentProcessId());
    const std::string Key = "HKCU\\" + Below;
    struct TRemove {
        std::wstring Key;
        ~TRemove() { RegDeleteTreeW(HKEY_CURRENT_USER, Key.c_str()); }
    } Remove{std::wstring(Below.begin(), Below.end())};
    const std::filesystem::path Dir = std::filesystem::temp_directory_path();
    const std::string Ours =
        (Dir / ("wdx-peer-" + std::to_string(GetCurrentProcessId()) + "-a.reg")).string();
    const std::string Theirs =
        (Dir / ("wdx-peer-" + std::to_string(GetCurrentProcessId()) + "-b.reg")).string();

    const std::string Sub = "'" + Key + "\\Büro Köln ✓'";
    ASSERT_EQ(WDXReg("add " + Sub + " -v 'Grüße 😀' -d 'Σίσυφος € 😀'").Status, 0);
    ASSERT_EQ(WDXReg("add " + Sub + " -v Port -t REG_DWORD -d 0x1f90").Status, 0);
    ASSERT_EQ(WDXReg("add " + Sub + " --ve -d 'default \"quoted\" \\ back'").Status, 0);
    ASSERT_EQ(WDXReg("add '" + Key + "\\Empty'").Status, 0);
    const TRun Before = WDXReg("query '" + Key + "' -s");
    ASSERT_EQ(Before.Status, 0) << Before.Output;
    ASSERT_NE(Before.Output.find("    Grüße 😀    REG_SZ    Σίσυφος € 😀\n"), std::string::npos)
        << Before.Output;

    // Ours, read by theirs.
    TRun R = WDXReg("export '" + Key + "' '" + Ours + "'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    ASSERT_EQ(RegExe("delete '" + Key + "' /f").Status, 0);
    R = RegExe("import '" + Ours + "'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    TRun After = WDXReg("query '" + Key + "' -s");
    EXPECT_EQ(After.Output, Before.Output);

    // Theirs, read by ours.
    R = RegExe("export '" + Key + "' '" + Theirs + "' /y");
    ASSERT_EQ(R.Status, 0) << R.Output;
    ASSERT_EQ(WDXReg("delete '" + Key + "' -f").Status, 0);
    R = WDXReg("import '" + Theirs + "'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    After = WDXReg("query '" + Key + "' -s");
    EXPECT_EQ(After.Output, Before.Output);

    std::error_code Ignored;
    std::filesystem::remove(Ours, Ignored);
    std::filesystem::remove(Theirs, Ignored);
}

// What the tools ask of the operating system, on the platform built for
// (Linux, and Windows under Wine).

#include "tools/platform/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

using namespace wdx::tools;
namespace fs = std::filesystem;

namespace {
// A folder of its own below the system's temporary folder, removed at the end.
struct TTempFolder {
    fs::path Path;
    TTempFolder() {
        std::random_device Random;
        Path = fs::temp_directory_path() / ("wdx-platform-" + std::to_string(Random()));
        fs::create_directories(Path);
    }
    ~TTempFolder() {
        std::error_code Ignored;
        fs::remove_all(Path, Ignored);
    }
    // A name in the folder as UTF-8 text, as the tools hold file names.
    std::string Name(const std::string& Utf8) const {
        auto U8 = Path.u8string();
        return std::string(U8.begin(), U8.end()) + "/" + Utf8;
    }
};

void Write(const std::string& Utf8Name, const std::string& Bytes) {
    std::ofstream Out(platform::FilePath(Utf8Name), std::ios::binary | std::ios::trunc);
    Out << Bytes;
    ASSERT_TRUE(Out.good()) << Utf8Name;
}

std::string Read(const std::string& Utf8Name) {
    std::ifstream In(platform::FilePath(Utf8Name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}
} // namespace

// WDXReg writes a temporary file and moves it over the old one: that must
// replace an existing file (rename() does not on Windows) and keep names
// beyond ASCII whole (the narrow code page would not).
TEST(Platform, MoveOverReplacesAnExistingFileWithAnyName) {
    TTempFolder Folder;
    const std::string Target = Folder.Name("Büro Köln ✓.reg");
    const std::string Temp = Folder.Name("Büro Köln ✓.reg.tmp");
    Write(Target, "old");
    Write(Temp, "new");
    std::string Why;
    ASSERT_TRUE(platform::MoveOver(Temp, Target, Why)) << Why;
    EXPECT_EQ(Read(Target), "new");
    EXPECT_FALSE(fs::exists(platform::FilePath(Temp)));

    // Into a folder that does not exist: refused with a reason, the file kept.
    Write(Temp, "again");
    EXPECT_FALSE(platform::MoveOver(Temp, Folder.Name("no such folder/x.reg"), Why));
    EXPECT_FALSE(Why.empty());
    EXPECT_EQ(Read(Temp), "again");
}

TEST(Platform, TimesAndTheProcess) {
    std::tm Utc{};
    ASSERT_TRUE(platform::UtcTime(86400 * 365 + 3661, Utc)); // 1971-01-01 01:01:01
    EXPECT_EQ(Utc.tm_year, 71);
    EXPECT_EQ(Utc.tm_yday, 0);
    EXPECT_EQ(Utc.tm_hour, 1);
    EXPECT_EQ(Utc.tm_min, 1);
    std::tm Local{};
    EXPECT_TRUE(platform::LocalTime(86400 * 365, Local));
    EXPECT_GT(platform::ProcessId(), 0);
}

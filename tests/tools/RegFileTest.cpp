#include "tools/RegFile.h"
#include "support/Environment.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

using namespace wdx::tools;
using namespace wdx::registry;

namespace {

std::string Utf16(const std::string& Utf8) {
    std::string B;
    EXPECT_TRUE(EncodeUtf16Le(Utf8, B));
    return B;
}

// Decode, parse and import, as "WDXReg import" does.
bool Import(const std::string& Bytes, std::string& Error) {
    std::string Text;
    std::vector<TRegFileKey> Keys;
    return DecodeRegBytes(Bytes, Text, Error) && ParseRegText(Text, Keys, Error) &&
           ImportRegKeys(Keys, Error);
}

std::string Export(TRegRoot Root, const std::string& Path) {
    std::string Text, Error;
    EXPECT_TRUE(ExportRegTree(Root, Path, Text, Error)) << Error;
    return Text;
}

class RegFileTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

// As the Windows editor writes it: UTF-16LE, CRLF, wrapped hex, a default value.
const char* const WindowsExport =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\VKR_Client]\r\n"
    "\"ClientDir\"=\"C:\\\\Program Files\\\\NPX \\\"Client\\\"\"\r\n"
    "\"Disable8dot3Check\"=dword:00000001\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\VKR_Client\\Büro Köln]\r\n"
    "\"HostName\"=\"köln.example.net\"\r\n"
    "\"Port\"=\"07563\"\r\n"
    "\"Path\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,3b,00,43,00,3a,00,5c,00,\\\r\n"
    "  78,00,00,00\r\n"
    "\"Blob\"=hex:00,ff,10\r\n"
    "\"Minus\"=dword:ffffffff\r\n"
    "\r\n";

} // namespace

TEST_F(RegFileTest, WindowsEditorFileImportsWithTypesAndExportsTheSame) {
    std::string Error;
    ASSERT_TRUE(Import(Utf16(WindowsExport), Error)) << Error;
    const std::string Key = "SOFTWARE\\Corvanta\\VKR_Client";
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::System, Key, "ClientDir", Text));
    EXPECT_EQ(Text, "C:\\Program Files\\NPX \"Client\"");
    std::int32_t N = 0;
    ASSERT_TRUE(ReadInt32(TRegRoot::System, Key, "Disable8dot3Check", N));
    EXPECT_EQ(N, 1);
    ASSERT_TRUE(ReadText(TRegRoot::System, Key, "", Text));
    EXPECT_EQ(Text, "default");
    ASSERT_TRUE(ReadInt32(TRegRoot::System, Key + "\\büro köln", "Minus", N));
    EXPECT_EQ(N, -1);
    TRegValue V;
    ASSERT_TRUE(ReadValue(TRegRoot::System, Key + "\\Büro Köln", "Path", V));
    EXPECT_EQ(V.Type, TRegValueType::Other);
    EXPECT_EQ(V.Kind, 2u);
    EXPECT_EQ(V.Bytes.size(), 24u);
    EXPECT_FALSE(KeyExists(TRegRoot::User, "SOFTWARE"));

    // Exported again it is the same text, in the stored case whatever the
    // case asked for; long hex lines may be wrapped at other places.
    auto Unwrapped = [](std::string T) {
        for (size_t P; (P = T.find("\\\r\n  ")) != std::string::npos;)
            T.erase(P, 5);
        return T;
    };
    // Values come in the store's order: by name with SQLite, as written in
    // the registry; compared as sorted lines within each key on Windows.
    auto InOrder = [](std::string T) {
#ifdef _WIN32
        std::string Out;
        std::vector<std::string> Block;
        auto Flush = [&] {
            std::sort(Block.begin(), Block.end());
            for (const std::string& L : Block)
                Out += L;
            Block.clear();
        };
        for (std::size_t P = 0, E; P < T.size(); P = E) {
            E = T.find("\r\n", P);
            E = E == std::string::npos ? T.size() : E + 2;
            std::string Line = T.substr(P, E - P);
            if (Line[0] == '"' || Line[0] == '@') {
                Block.push_back(Line);
            } else {
                Flush();
                Out += Line;
            }
        }
        Flush();
        return Out;
#else
        return T;
#endif
    };
    EXPECT_EQ(InOrder(Unwrapped(Export(TRegRoot::System, "software\\corvanta\\vkr_client"))),
              InOrder(Unwrapped(WindowsExport)));
}

TEST_F(RegFileTest, RoundTripThroughBothEncodingsKeepsEveryValue) {
    {
        TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
        TRegKey K, Sub;
        ASSERT_TRUE(Tx.CreateKey("Top\\Mid", K));
        ASSERT_TRUE(K.WriteText("Plain", "x"));
        ASSERT_TRUE(K.WriteText("Lines", "one\r\ntwo")); // needs hex(1)
        ASSERT_TRUE(K.WriteText("Unicode \"q\" \\", "Σίσυφος €"));
        ASSERT_TRUE(K.WriteText("Empty", ""));
        ASSERT_TRUE(K.WriteInt32("Neg", -123456));
        ASSERT_TRUE(K.WriteValue({"Long", TRegValueType::Other, 3, "", 0, std::string(100, '\x5a')}));
        ASSERT_TRUE(K.CreateSubKey("Leaf", Sub));
        ASSERT_TRUE(Tx.Commit());
    }
    std::string First = Export(TRegRoot::User, "Top");
    for (bool AsUtf16 : {true, false}) {
        ASSERT_TRUE(DeleteKey(TRegRoot::User, "Top"));
        std::string Error;
        ASSERT_TRUE(Import(AsUtf16 ? Utf16(First) : First, Error)) << Error;
        EXPECT_EQ(Export(TRegRoot::User, "Top"), First);
    }
    std::string Text;
    ASSERT_TRUE(ReadText(TRegRoot::User, "Top\\Mid", "Lines", Text));
    EXPECT_EQ(Text, "one\r\ntwo");
    EXPECT_NE(First.find("\"Long\"=hex:5a,5a"), std::string::npos);
    EXPECT_NE(First.find(",\\\r\n  5a"), std::string::npos); // wrapped
    EXPECT_TRUE(KeyExists(TRegRoot::User, "Top\\Mid\\Leaf"));
}

TEST_F(RegFileTest, EncodingsAccepted) {
    std::string Error, Text;
    const std::string Body = "Windows Registry Editor Version 5.00\n[HKCU\\A]\n\"n\"=\"ü\"\n";
    EXPECT_TRUE(DecodeRegBytes(Body, Text, Error));
    EXPECT_TRUE(DecodeRegBytes("\xef\xbb\xbf" + Body, Text, Error));
    EXPECT_EQ(Text, Body);
    EXPECT_TRUE(DecodeRegBytes(Utf16(Body), Text, Error));
    EXPECT_EQ(Text, Body);
    EXPECT_FALSE(DecodeRegBytes("\xfe\xff\x00W", Text, Error));
    EXPECT_NE(Error.find("big-endian"), std::string::npos);
    EXPECT_FALSE(DecodeRegBytes("Windows \xff\xfe\xfd", Text, Error));
    EXPECT_FALSE(DecodeRegBytes(Utf16(Body).substr(2), Text, Error));              // UTF-16 without its mark
    EXPECT_FALSE(DecodeRegBytes(std::string("\xff\xfe\x00\xd8", 4), Text, Error)); // lone surrogate
    // A NUL character is refused in UTF-16 as in UTF-8: in a quoted text it
    // would be lost the next time round (hex(1) data ends at its NULs).
    EXPECT_FALSE(DecodeRegBytes(Utf16(std::string("Windows\0", 8)), Text, Error));
    EXPECT_NE(Error.find("NUL"), std::string::npos) << Error;
}

TEST_F(RegFileTest, MalformedInputNamesTheLineAndImportsNothing) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Keep", "V", "old"));
    struct {
        const char* Text;
        const char* Expect;
    } Cases[] = {
        {"", "empty file"},
        {"REGEDIT5\n", "line 1: not a .reg file"},
        {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", "line 2: value before"},
        {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\X]\n", "line 2: unsupported root"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=\"new\"\n\"N\"=dword:123456789\n",
         "line 4: dword"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=\"C:\\temp\"\n",
         "line 3: unknown escape"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=\"open\n",
         "line 3: quoted text is not closed"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=hex:0g\n", "line 3: hex data"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=hex:01,\\\n  02,\n",
         "line 3: hex data ends"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=hex(4):01,02\n", "line 3: hex(4)"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\" \"x\"\n", "line 3: expected ="},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep\n", "line 2: key line"},
        {"Windows Registry Editor Version 5.00\n[-HKCU\\Keep]\n\"V\"=\"x\"\n", "line 3: value under a key"},
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=\"new\"\n[HKLM\\S]\n", "both"},
        // Only the store's checks find this one (an empty key name); they run over
        // the whole file before the first write, which a store without
        // transactions could not undo.
        {"Windows Registry Editor Version 5.00\n[HKCU\\Keep]\n\"V\"=\"new\"\n[HKCU\\A\\\\B]\n",
         "line 4: HKEY_CURRENT_USER\\A\\\\B: invalid key name"},
    };
    for (auto C : Cases) {
        std::string Error;
        EXPECT_FALSE(Import(C.Text, Error)) << C.Text;
        EXPECT_NE(Error.find(C.Expect), std::string::npos) << "got: " << Error;
        std::string Text;
        ASSERT_TRUE(ReadText(TRegRoot::User, "Keep", "V", Text));
        EXPECT_EQ(Text, "old") << C.Text;
    }
    EXPECT_FALSE(KeyExists(TRegRoot::System, "S"));
    EXPECT_FALSE(KeyExists(TRegRoot::User, "A"));
}

// The names are checked before the store is even opened: the file's fault is
// reported, not the store's.
TEST_F(RegFileTest, NamesAreCheckedBeforeTheStoreIsOpened) {
    std::ofstream(Store.Dir() + "/plainfile") << "not a folder";
    wdx::testsupport::SetEnv("WDX_USER_STORE", Store.Dir() + "/plainfile/user.sqlite");
    std::string Error;
    EXPECT_FALSE(Import("Windows Registry Editor Version 5.00\n[HKCU\\Good]\n\n[HKCU\\Good\\" +
                            std::string(300, 'x') + "]\n",
                        Error));
    EXPECT_NE(Error.find("line 4: a key name has at most 255 characters"), std::string::npos) << Error;
    EXPECT_NE(Error.find("(nothing was imported)"), std::string::npos) << Error;
    EXPECT_FALSE(Import("Windows Registry Editor Version 5.00\n[HKCU\\Good]\n\"v\"=\"1\"\n", Error));
    EXPECT_EQ(Error.find("line"), std::string::npos) << Error; // now the store's own failure
}

TEST_F(RegFileTest, DeletionLinesRemoveKeysAndValues) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "A\\Gone\\Deep", "V", "1"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "A", "Drop", "1"));
    ASSERT_TRUE(WriteText(TRegRoot::User, "A", "Keep", "1"));
    std::string Error;
    ASSERT_TRUE(Import("REGEDIT4\n; comment\n[-HKEY_CURRENT_USER\\A\\Gone]\n[-HKCU\\NotThere]\n"
                       "[HKCU\\A]\n\"Drop\"=-\n\"Absent\"=-\n",
                       Error))
        << Error;
    EXPECT_FALSE(KeyExists(TRegRoot::User, "A\\Gone"));
    std::string Text;
    EXPECT_FALSE(ReadText(TRegRoot::User, "A", "Drop", Text));
    EXPECT_TRUE(ReadText(TRegRoot::User, "A", "Keep", Text));
}

// Keys that go down from the one before are created from its handle; a
// deletion in between, a change of case or a jump elsewhere must not confuse that.
TEST_F(RegFileTest, KeysBelowTheOneBeforeAfterDeletionsAndCaseChanges) {
    std::string Error;
    ASSERT_TRUE(Import("REGEDIT4\n[HKCU\\A]\n[HKCU\\A\\B\\C]\n\"v\"=\"1\"\n[-HKCU\\A\\B]\n"
                       "[HKCU\\A\\B\\D]\n[HKCU\\a\\E]\n[HKCU\\X]\n[HKCU\\A\\E\\F]\n\"w\"=\"2\"\n",
                       Error))
        << Error;
    std::vector<std::string> Names;
    ASSERT_TRUE(ListSubKeys(TRegRoot::User, "A\\B", Names));
    EXPECT_EQ(Names, std::vector<std::string>{"D"});
    ASSERT_TRUE(ListSubKeys(TRegRoot::User, "A", Names));
    EXPECT_EQ(Names, (std::vector<std::string>{"B", "E"}));
    std::string Text;
    EXPECT_TRUE(ReadText(TRegRoot::User, "A\\E\\F", "w", Text));
    EXPECT_TRUE(KeyExists(TRegRoot::User, "X"));
}

TEST(RegFilePaths, RootNamesShortAndLong) {
    TRegRoot Root;
    std::string Path;
    ASSERT_TRUE(SplitRootedPath("hkcu\\A\\B", Root, Path));
    EXPECT_EQ(Root, TRegRoot::User);
    EXPECT_EQ(Path, "A\\B");
    ASSERT_TRUE(SplitRootedPath("HKEY_LOCAL_MACHINE", Root, Path));
    EXPECT_EQ(Root, TRegRoot::System);
    EXPECT_EQ(Path, "");
    EXPECT_FALSE(SplitRootedPath("HKCR\\A", Root, Path));
    EXPECT_FALSE(SplitRootedPath("SOFTWARE\\A", Root, Path));
}

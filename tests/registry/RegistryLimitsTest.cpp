// The platform registry's limits on key names, value names and depth: kept by
// every write, while what an older build stored past them stays usable.

#include "registry/Registry.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <string>

using namespace wdx::registry;

namespace {

class RegistryLimitsTest : public ::testing::Test {
protected:
    wdx::testsupport::TTempStore Store;
};

std::string Repeat(const std::string& Part, size_t N) {
    std::string S;
    for (size_t I = 0; I < N; ++I)
        S += Part;
    return S;
}

// A path of Depth keys "k1\k2\...".
std::string DeepPath(size_t Depth) {
    std::string P;
    for (size_t I = 1; I <= Depth; ++I)
        P += (I > 1 ? "\\k" : "k") + std::to_string(I);
    return P;
}

bool Contains(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

} // namespace

TEST_F(RegistryLimitsTest, KeyNameOf255CharactersIsTheLongest) {
    ASSERT_TRUE(WriteText(TRegRoot::User, "Keep", "V", "1"));
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
    TRegKey Key, Top;
    ASSERT_TRUE(Tx.CreateKey("Top\\" + std::string(255, 'a'), Key)) << Tx.ErrorText();
    // Counted in UTF-16 units: 127 characters beyond U+FFFF are 254, 128 are 256.
    EXPECT_TRUE(Tx.CreateKey("Top\\" + Repeat("\U0001F600", 127) + "b", Key)) << Tx.ErrorText();
    for (const std::string& Name :
         {std::string(256, 'a'), Repeat("\U0001F600", 128), Repeat("\u00e9", 256)}) {
        EXPECT_FALSE(Tx.CreateKey("New\\" + Name + "\\below", Key));
        EXPECT_EQ(Tx.Error(), TRegError::TooLong);
        EXPECT_TRUE(Contains(Tx.ErrorText(), "a key name has at most 255 characters")) << Tx.ErrorText();
        ASSERT_TRUE(Tx.OpenKey("Top", Top));
        EXPECT_FALSE(Top.CreateSubKey(Name, Key));
        EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    }
    ASSERT_TRUE(Tx.Commit()) << Tx.ErrorText();
    // Nothing of the refused paths was created, not even the keys above.
    EXPECT_FALSE(KeyExists(TRegRoot::User, "New"));
    std::vector<std::string> Names;
    ASSERT_TRUE(ListSubKeys(TRegRoot::User, "Top", Names));
    EXPECT_EQ(Names.size(), 2u);
    TRegError Err = TRegError::None;
    EXPECT_FALSE(WriteText(TRegRoot::User, std::string(300, 'x'), "V", "1", &Err));
    EXPECT_EQ(Err, TRegError::TooLong) << ErrorName(Err);
}

TEST_F(RegistryLimitsTest, ValueNameOf16383CharactersIsTheLongest) {
    TRegError Err = TRegError::None;
    EXPECT_TRUE(WriteText(TRegRoot::User, "K", std::string(16383, 'v'), "ok", &Err)) << ErrorName(Err);
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
    TRegKey Key;
    ASSERT_TRUE(Tx.CreateKey("K", Key));
    EXPECT_FALSE(Key.WriteText(std::string(16384, 'v'), "no"));
    EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    EXPECT_TRUE(Contains(Tx.ErrorText(), "a value name has at most 16,383 characters")) << Tx.ErrorText();
    EXPECT_TRUE(Contains(Tx.ErrorText(), "has 16,384")) << Tx.ErrorText();
    EXPECT_FALSE(Key.WriteInt32(Repeat("\U0001F600", 8192), 1));
    EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    // The transaction goes on: a refused write is not a failure of the store.
    EXPECT_TRUE(Key.WriteText("Short", "yes"));
    ASSERT_TRUE(Tx.Commit());
    std::vector<TRegValue> Values;
    TRegTransaction Read(TRegRoot::User, TRegAccess::Read);
    ASSERT_TRUE(Read.OpenKey("K", Key) && Key.Values(Values));
    ASSERT_EQ(Values.size(), 2u);
    EXPECT_TRUE(Values[0].Name == "Short" || Values[1].Name == "Short");
}

TEST_F(RegistryLimitsTest, KeysLieAtMost512LevelsDeep) {
    TRegTransaction Tx(TRegRoot::User, TRegAccess::Write);
    TRegKey Key, Deeper;
    ASSERT_TRUE(Tx.CreateKey(DeepPath(512), Key)) << Tx.ErrorText();
    EXPECT_FALSE(Key.CreateSubKey("one-more", Deeper));
    EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    EXPECT_TRUE(Contains(Tx.ErrorText(), "a key path has at most 512 levels")) << Tx.ErrorText();
    EXPECT_TRUE(Key.WriteText("AtTheBottom", "1")) << Tx.ErrorText();
    EXPECT_FALSE(Tx.CreateKey("Other\\" + DeepPath(512), Key));
    EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    EXPECT_TRUE(Contains(Tx.ErrorText(), "this one has 513")) << Tx.ErrorText();
    // Level by level from a key opened halfway down counts the same.
    ASSERT_TRUE(Tx.OpenKey(DeepPath(300), Key));
    for (int I = 301; I <= 512; ++I)
        ASSERT_TRUE(Key.CreateSubKey("k" + std::to_string(I), Key)) << I << " " << Tx.ErrorText();
    EXPECT_FALSE(Key.CreateSubKey("k513", Deeper));
    EXPECT_EQ(Tx.Error(), TRegError::TooLong);
    ASSERT_TRUE(Tx.Commit());
    EXPECT_FALSE(KeyExists(TRegRoot::User, "Other"));
    std::string Text;
    EXPECT_TRUE(ReadText(TRegRoot::User, DeepPath(512), "AtTheBottom", Text));
}

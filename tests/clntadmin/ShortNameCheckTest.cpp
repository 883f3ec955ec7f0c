#include "AdminTestSupport.h"

#include "clntadmin/ShortNameCheck.h"

#include <QPushButton>
#include <QWindow>
#include <optional>
#include <variant>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;

namespace {
struct TAbsent {};
using TStoredValue = std::variant<TAbsent, std::string, std::int32_t>;

void Put(TRegRoot Root, const char* Key, const char* Name, const TStoredValue& Value) {
    if (auto* text = std::get_if<std::string>(&Value)) {
        ASSERT_TRUE(registry::WriteText(Root, Key, Name, *text));
    } else if (auto* number = std::get_if<std::int32_t>(&Value)) {
        ASSERT_TRUE(registry::WriteInt32(Root, Key, Name, *number));
    }
}

// A setting that counts how often it is read.
struct TFakeSetting : TShortNameSetting {
    std::optional<std::int32_t> Value;
    mutable int Reads = 0;
    std::optional<std::int32_t> NameCreationSetting() const override {
        ++Reads;
        return Value;
    }
};
} // namespace

// Which stored values call for the warning: tests/brokerstore/ShortNamesTest.cpp.

TEST(AdminShortNameCheck, TheWarningComesOnceAfterTheListIsFilled) {
    testsupport::TTempStore store;
    Define(scSystem, "Plant");
    // Only the System root's opt-out counts.
    Put(TRegRoot::User, brokerstore::ProductKey, ShortNameOptOutValue, std::string("1"));
    Put(TRegRoot::System, FileSystemKey, NameCreationValue, std::int32_t(1));
    int rowsAtWarning = -1;
    bool onScreen = false;
    TMessageBoxes boxes;
    boxes.WhileOpen = [&](const common::TMessageRequest& R) {
        if (auto* f = qobject_cast<TForm1*>(R.Owner)) {
            rowsAtWarning = Find<common::TListView>(f, "ListView1")->Items()->Count();
            onScreen = f->windowHandle() && f->windowHandle()->isVisible();
        }
    };
    const std::vector<testsupport::TSeenBox>& seen = boxes.Seen;
    TFormGuard form;
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Text,
              QStringLiteral("VKR Client will not work correctly with 8.3 file name generation disabled.  "
                             "Contact your supplier for further information."));
    EXPECT_EQ(seen[0].Caption, QStringLiteral("Warning"));
    EXPECT_EQ(seen[0].Icon, common::TMsgIcon::Warning);
    EXPECT_EQ(seen[0].Buttons, common::TMsgButtons::Ok);
    EXPECT_EQ(seen[0].Owner, form.Form);
    EXPECT_EQ(rowsAtWarning, 1);
    EXPECT_TRUE(onScreen);
    // Shown again, the window neither warns nor reads again; it runs on.
    form->hide();
    form->show();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Find<QPushButton>(form, "Button1")->isEnabled());
}

TEST(AdminShortNameCheck, ThePlatformSettingIsReadOnlyWhenTheCheckIsWanted) {
    testsupport::TTempStore store;
    auto setting = std::make_shared<TFakeSetting>();
    setting->Value = 1;
    {
        TMessageBoxes boxes;
        TFormGuard form(setting); // no product key
        EXPECT_EQ(setting->Reads, 0);
        EXPECT_TRUE(boxes.Seen.empty());
    }
    Put(TRegRoot::System, brokerstore::ProductKey, ShortNameOptOutValue, std::string("1"));
    {
        TMessageBoxes boxes;
        TFormGuard form(setting);
        EXPECT_EQ(setting->Reads, 0);
        EXPECT_TRUE(boxes.Seen.empty());
    }
    Put(TRegRoot::System, brokerstore::ProductKey, ShortNameOptOutValue, std::string("0"));
    {
        TMessageBoxes boxes;
        TFormGuard form(setting);
        EXPECT_EQ(setting->Reads, 1);
        EXPECT_EQ(boxes.Seen.size(), 1u);
    }
    setting->Value.reset(); // the setting's key cannot be opened
    {
        TMessageBoxes boxes;
        TFormGuard form(setting);
        EXPECT_EQ(setting->Reads, 2);
        EXPECT_TRUE(boxes.Seen.empty());
    }
}

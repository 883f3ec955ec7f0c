#pragma once
// What the administrator's window tests share: temporary stores with broker
// definitions and a recorder for message boxes (from tests/support), a
// driver for the modal edit dialog, a lock on a store file, and a run
// without the right to write the System store.

#include "brokerstore/BrokerStore.h"
#include "clntadmin/BrokerEditForm.h"
#include "clntadmin/MainForm.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "common/widgets/UpDown.h"
#include "registry/Registry.h"
#include "support/BrokerDefinitions.h"
#include "support/Controls.h"
#include "support/DialogDriver.h"
#include "support/MessageBoxes.h"
#include "support/TempStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct sqlite3;

// Readable texts in failure messages.
inline void PrintTo(const QString& Text, std::ostream* Os) {
    *Os << '"' << Text.toStdString() << '"';
}

namespace wdx::clntadmin::test {

using brokerstore::scSystem;
using brokerstore::scUser;
using registry::TRegRoot;
using testsupport::Define;
using testsupport::Find;
using testsupport::TMessageBoxes;

inline std::string BrokerKey(const std::string& Name) {
    return std::string(brokerstore::ProductKey) + "\\" + Name;
}
using brokerstore::RootOf;

// One stored value as text; "<missing>" when it cannot be read.
inline std::string Stored(brokerstore::TBrokerScope Scope, const std::string& Name, const char* Value) {
    std::string text;
    return registry::ReadText(RootOf(Scope), BrokerKey(Name), Value, text) ? text : "<missing>";
}
inline bool Exists(brokerstore::TBrokerScope Scope, const std::string& Name) {
    return registry::KeyExists(RootOf(Scope), BrokerKey(Name));
}

// The list window, shown; it frees itself when it closes, or here.
struct TFormGuard {
    QPointer<TForm1> Form;
    explicit TFormGuard(std::shared_ptr<const TShortNameSetting> Setting = nullptr)
        : Form(new TForm1(std::move(Setting))) {
        Form->show();
    }
    ~TFormGuard() { delete Form.data(); }
    TForm1* operator->() const { return Form.data(); }
    common::TListItems& Rows() const {
        return *testsupport::Find<common::TListView>(Form, "ListView1")->Items();
    }
    QStringList Row(int Index) const {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << Rows().Text(Index, c);
        return cells;
    }
    int Find(const QString& Name, const QString& Type) const {
        for (int r = 0; r < Rows().Count(); ++r)
            if (Rows().Caption(r) == Name && Rows().Text(r, 4) == Type)
                return r;
        return -1;
    }
};

// Runs Drive on the edit dialog once it shows modally; see DialogDriver.h.
using TDialogDriver = testsupport::TDialogDriver<TForm2>;

// Replaces a field's text as the operator would (select all, type).
inline void Enter(QLineEdit* Edit, const QString& Text) {
    Edit->selectAll();
    Edit->insert(Text);
}
inline void Fill(TForm2& D, const QString& Name, const QString& Host, const QString& Port,
                 const QString& TimeOut) {
    Enter(Find<QLineEdit>(D, "Edit1"), Name);
    Enter(Find<QLineEdit>(D, "Edit2"), Host);
    Enter(Find<QLineEdit>(D, "Edit3"), Port);
    Enter(Find<QLineEdit>(D, "Edit4"), TimeOut);
}

// Holds the write lock of a store file, as another program writing it
// would; store writes then fail as busy after a short wait.
class TStoreLock {
public:
    explicit TStoreLock(const std::string& Path);
    ~TStoreLock();
    bool Held() const { return FHeld; }

private:
    sqlite3* FDb = nullptr;
    bool FHeld = false;
    std::chrono::milliseconds FOldTimeout;
};

// Takes away the right to write the System store file while it lives: as
// root (whom file modes do not stop) by running as "nobody", otherwise by
// making the file read-only. The User file stays writable. Both files must
// exist. Usable() is false when the temporary folder cannot be handed to
// another user; the test then skips.
class TNoSystemWriteRight {
public:
    explicit TNoSystemWriteRight(const testsupport::TTempStore& Store);
    ~TNoSystemWriteRight();
    bool Usable() const { return FUsable; }

private:
    const testsupport::TTempStore& FStore;
    bool FRoot = false;
    bool FUsable = false;
};

} // namespace wdx::clntadmin::test

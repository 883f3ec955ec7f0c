#pragma once
// A help service that records every call and answers as told.

#include "common/help/HelpRouter.h"
#include "common/help/HelpService.h"

#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

namespace wdx::test {

struct THtmlHelpCall {
    QWidget* Caller;
    std::optional<QString> File;
    unsigned Command;
    common::THtmlHelpData Data;
};

struct TWinHelpCall {
    QWidget* Owner;
    QString File;
    std::uint16_t Command;
    std::intptr_t Data;
};

class TFakeHelpService : public common::THelpService {
public:
    bool LoadResult = true;
    bool BindResult = true;
    bool ThrowOnLoad = false;
    bool HtmlHelpResult = true;
    bool WinHelpResult = true;
    QPoint Cursor{500, 400};

    int Loads = 0;
    int Frees = 0;
    std::vector<THtmlHelpCall> HtmlCalls;
    std::vector<TWinHelpCall> WinCalls;

    bool LoadHtmlHelpLibrary() override {
        ++Loads;
        if (ThrowOnLoad)
            throw std::runtime_error("engine broken");
        return LoadResult;
    }
    bool BindHtmlHelp() override { return BindResult; }
    void FreeHtmlHelpLibrary() override { ++Frees; }
    bool HtmlHelp(QWidget* Caller, const std::optional<QString>& File, unsigned Command,
                  const common::THtmlHelpData& Data) override {
        HtmlCalls.push_back({Caller, File, Command, Data});
        return HtmlHelpResult;
    }
    bool WinHelp(QWidget* Owner, const QString& File, std::uint16_t Command, std::intptr_t Data) override {
        WinCalls.push_back({Owner, File, Command, Data});
        return WinHelpResult;
    }
    QPoint CursorPos() const override { return Cursor; }

    std::intptr_t NumberOf(const THtmlHelpCall& C) const { return std::get<std::intptr_t>(C.Data); }
    const common::THHPopup& PopupOf(const THtmlHelpCall& C) const {
        return std::get<common::THHPopup>(C.Data);
    }
};

// A router that its owner window may have deleted already.
class TRouterPtr {
public:
    TRouterPtr() = default;
    TRouterPtr(const TRouterPtr&) = delete;
    TRouterPtr& operator=(const TRouterPtr&) = delete;
    ~TRouterPtr() { reset(); }
    void reset(common::THelpRouter* Router = nullptr) {
        delete FRouter.data();
        FRouter = Router;
    }
    common::THelpRouter* operator->() const { return FRouter.data(); }
    common::THelpRouter* get() const { return FRouter.data(); }

private:
    QPointer<common::THelpRouter> FRouter;
};

} // namespace wdx::test

#pragma once
// The main window owns the monitor connection; the details dialogs only
// borrow it. A dialog holds a TMonitorLink instead of the connection itself:
// the link goes empty the moment the window ends the connection, so a dialog
// that asks its link before each call never reaches a destroyed connection,
// however the connection ended (the Disconnect button, or a failed refresh
// while the dialog was open).

#include "NPXMonitor.h"

#include <memory>

namespace wdx::monitor {

class TConnectionOwner;

class TMonitorLink {
public:
    TMonitorLink() = default; // refers to no connection

    // The connection, or null once it has ended. Ask again before each call:
    // any call that opens a message box lets a refresh run, and that refresh
    // may end the connection.
    TNPXMonitor* Get() const noexcept { return FCell ? FCell->Monitor : nullptr; }
    explicit operator bool() const noexcept { return Get() != nullptr; }

private:
    friend class TConnectionOwner;
    struct TCell {
        TNPXMonitor* Monitor = nullptr;
    };
    explicit TMonitorLink(std::shared_ptr<const TCell> Cell) : FCell(std::move(Cell)) {}

    std::shared_ptr<const TCell> FCell;
};

// The window's Connection: one TNPXMonitor or none, and the links lent out
// for it. A link lent for one connection never refers to a later one.
class TConnectionOwner {
public:
    TConnectionOwner() = default;
    ~TConnectionOwner();
    TConnectionOwner(const TConnectionOwner&) = delete;
    TConnectionOwner& operator=(const TConnectionOwner&) = delete;

    TNPXMonitor* Get() const noexcept { return FMonitor.get(); }
    TNPXMonitor* operator->() const noexcept { return FMonitor.get(); }
    explicit operator bool() const noexcept { return bool(FMonitor); }

    // Takes over a new connection; there must be none yet.
    void Adopt(std::unique_ptr<TNPXMonitor> Monitor);

    // Ends the connection, if any: every link goes empty first, then the
    // connection is torn down completely. A teardown failure (ECOMError) is
    // thrown once everything is released; the owner is empty either way.
    void Destroy();

    // A link to the present connection; an empty one when there is none.
    TMonitorLink Link() const;

private:
    std::unique_ptr<TNPXMonitor> FMonitor;
    std::shared_ptr<TMonitorLink::TCell> FCell;
};

} // namespace wdx::monitor

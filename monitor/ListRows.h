#pragma once
// The rows of the component and service lists: the records as the
// connection delivered them, in their order. A cell's text is written only
// when the list draws it, so a refresh hands over the records whole instead
// of formatting every counter of every row.

#include "NPXMonitor.h"
#include "common/widgets/ListView.h"

#include <string>

namespace wdx::monitor {

// Counters are written in plain decimal: a minus sign when negative, no
// thousands separators.
class TServerRows : public common::TListSource {
public:
    explicit TServerRows(TServerList Rows) : FRows(std::move(Rows)) {}
    int Count() const override { return static_cast<int>(FRows.size()); }
    // Name, Active, Maximum, Requests, Queued, QueueTime, ServiceTime.
    QString Text(int Row, int Column) const override;

private:
    TServerList FRows;
};

class TServiceRows : public common::TListSource {
public:
    explicit TServiceRows(TServiceList Rows) : FRows(std::move(Rows)) {}
    int Count() const override { return static_cast<int>(FRows.size()); }
    // Name, Requests, Queued, QueueTime, ServiceTime.
    QString Text(int Row, int Column) const override;

private:
    TServiceList FRows;
};

// Index of the first record named exactly Name (same characters, same case,
// the whole text), or -1.
int FindServer(const TServerList& Rows, const std::string& Name);

} // namespace wdx::monitor

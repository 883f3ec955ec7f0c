#include "ListRows.h"

namespace wdx::monitor {

QString TServerRows::Text(int Row, int Column) const {
    const TServer& r = FRows[static_cast<size_t>(Row)];
    switch (Column) {
    case 0:
        return QString::fromStdString(r.Name);
    case 1:
        return QString::number(r.Active);
    case 2:
        return QString::number(r.Maximum);
    case 3:
        return QString::number(r.Requests);
    case 4:
        return QString::number(r.Queued);
    case 5:
        return QString::number(r.QueueTime);
    case 6:
        return QString::number(r.ServiceTime);
    default:
        return {};
    }
}

QString TServiceRows::Text(int Row, int Column) const {
    const TService& r = FRows[static_cast<size_t>(Row)];
    switch (Column) {
    case 0:
        return QString::fromStdString(r.Name);
    case 1:
        return QString::number(r.Requests);
    case 2:
        return QString::number(r.Queued);
    case 3:
        return QString::number(r.QueueTime);
    case 4:
        return QString::number(r.ServiceTime);
    default:
        return {};
    }
}

int FindServer(const TServerList& Rows, const std::string& Name) {
    for (size_t i = 0; i < Rows.size(); ++i)
        if (Rows[i].Name == Name)
            return static_cast<int>(i);
    return -1;
}

} // namespace wdx::monitor

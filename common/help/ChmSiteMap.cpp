#include "common/help/ChmSiteMap.h"

#include <QRegularExpression>

#include <optional>

namespace wdx::common {

namespace {
// Entities that site maps use in their values.
QString DecodeEntities(QString S) {
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[a-zA-Z]+);"));
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(S);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(S).mid(last, m.capturedStart() - last);
        const QString e = m.captured(1);
        QString rep;
        bool ok = false;
        if (e.startsWith(QStringLiteral("#x"), Qt::CaseInsensitive)) {
            const uint c = e.mid(2).toUInt(&ok, 16);
            if (ok && c > 0 && c <= 0x10FFFF)
                rep = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        } else if (e.startsWith(u'#')) {
            const uint c = e.mid(1).toUInt(&ok, 10);
            if (ok && c > 0 && c <= 0x10FFFF)
                rep = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        } else if (e == QStringLiteral("amp")) {
            rep = QStringLiteral("&");
        } else if (e == QStringLiteral("lt")) {
            rep = QStringLiteral("<");
        } else if (e == QStringLiteral("gt")) {
            rep = QStringLiteral(">");
        } else if (e == QStringLiteral("quot")) {
            rep = QStringLiteral("\"");
        } else if (e == QStringLiteral("apos")) {
            rep = QStringLiteral("'");
        } else if (e == QStringLiteral("nbsp")) {
            rep = QStringLiteral(" ");
        }
        out += rep.isNull() ? m.captured(0) : rep;
        last = m.capturedEnd();
    }
    out += QStringView(S).mid(last);
    return out;
}

QString Attribute(const QString& Attributes, const QString& Name) {
    static const QRegularExpression attr(
        QStringLiteral("([A-Za-z_:][-A-Za-z0-9_:.]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"));
    auto it = attr.globalMatch(Attributes);
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.captured(1).compare(Name, Qt::CaseInsensitive) == 0) {
            for (int i = 2; i <= 4; ++i)
                if (m.capturedStart(i) >= 0)
                    return DecodeEntities(m.captured(i));
        }
    }
    return {};
}
} // namespace

std::vector<TSiteMapItem> ParseSiteMap(const QString& Html) {
    std::vector<TSiteMapItem> root;
    // The lists being filled, innermost last. A list that follows an item
    // holds that item's children.
    std::vector<std::vector<TSiteMapItem>*> levels{&root};
    std::optional<TSiteMapItem> item;

    static const QRegularExpression tag(QStringLiteral("<\\s*(/?)\\s*([A-Za-z]+)([^>]*)>"));
    auto it = tag.globalMatch(Html);
    while (it.hasNext()) {
        const auto m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        if (name == QStringLiteral("ul")) {
            if (closing) {
                if (levels.size() > 1)
                    levels.pop_back();
            } else {
                auto* list = levels.back();
                levels.push_back(list->empty() ? list : &list->back().Children);
            }
        } else if (name == QStringLiteral("object")) {
            if (!closing) {
                if (Attribute(m.captured(3), QStringLiteral("type"))
                        .compare(QStringLiteral("text/sitemap"), Qt::CaseInsensitive) == 0)
                    item.emplace();
            } else if (item) {
                if (!item->Name.isEmpty() || !item->Local.isEmpty())
                    levels.back()->push_back(std::move(*item));
                item.reset();
            }
        } else if (name == QStringLiteral("param") && item) {
            const QString param = Attribute(m.captured(3), QStringLiteral("name"));
            const QString value = Attribute(m.captured(3), QStringLiteral("value"));
            // An entry may name several topics; the first one is taken.
            if (param.compare(QStringLiteral("Name"), Qt::CaseInsensitive) == 0 && item->Name.isEmpty())
                item->Name = value;
            else if (param.compare(QStringLiteral("Local"), Qt::CaseInsensitive) == 0 &&
                     item->Local.isEmpty())
                item->Local = value;
        }
    }
    return root;
}

} // namespace wdx::common

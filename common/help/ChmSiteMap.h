#pragma once
// The contents (".hhc") and index (".hhk") files of a help file: HTML lists
// whose items are "text/sitemap" objects with a name and a local topic.

#include <QString>

#include <vector>

namespace wdx::common {

struct TSiteMapItem {
    QString Name;  // the entry's text (an index entry: its keyword)
    QString Local; // the topic, relative to the help file's root; may be empty
    std::vector<TSiteMapItem> Children;
};

// The items of a site map, nested as its lists nest. Tolerant: unknown tags,
// unclosed lists and missing parameters are passed over.
std::vector<TSiteMapItem> ParseSiteMap(const QString& Html);

} // namespace wdx::common

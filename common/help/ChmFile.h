#pragma once
// Read access to a compiled HTML help file (".chm"): its files, its settings
// (title, default topic, contents and index files), its context map (context
// id -> topic) and the pop-up texts of a text-topics file inside it.
//
// A damaged file never takes the program down: whatever cannot be read comes
// back as "not there".

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

struct chmFile;

namespace wdx::common {

class TChmFile {
public:
    // Nullptr when Path is no readable help file.
    static std::unique_ptr<TChmFile> Open(const QString& Path);
    ~TChmFile();
    TChmFile(const TChmFile&) = delete;
    TChmFile& operator=(const TChmFile&) = delete;

    const QString& Path() const { return FPath; }

    // Internal paths start with '/', e.g. "/sub/topic.htm"; the file system
    // of a help file ignores case.
    bool Exists(const QString& InternalPath) const;
    // The whole content of a file inside; nullopt when it is missing, too
    // large or cannot be read completely.
    std::optional<QByteArray> Read(const QString& InternalPath) const;
    // Every ordinary file inside (no directories, no system files).
    QStringList Files() const;

    QString Title() const { return FTitle; }
    QString DefaultTopic() const { return FDefaultTopic; } // internal path or empty
    QString ContentsFile() const { return FContentsFile; } // internal path or empty
    QString IndexFile() const { return FIndexFile; }       // internal path or empty

    // The topic that the context map gives Id, as an internal path of a file
    // that exists; empty when Id is not mapped or its topic is missing.
    QString TopicOfContext(std::uint32_t Id) const;
    const std::map<std::uint32_t, QString>& ContextMap() const { return FContexts; }

    // The pop-up text of Id in the text-topics file TopicsFile ("CSHelp.txt");
    // nullopt when the file or the topic is not there.
    std::optional<QString> PopupText(const QString& TopicsFile, std::uint32_t Id) const;

    // Largest file inside that is read into memory.
    static constexpr std::uint64_t MaxObjectSize = 32u * 1024u * 1024u;

private:
    TChmFile(chmFile* Handle, const QString& Path);
    void ReadSystem();
    void ReadContextMap();
    // An internal path named by the file itself (settings, context map), made
    // absolute and found even when it was stored with a folder prefix.
    QString ResolveStoredPath(const QString& Stored) const;

    chmFile* FHandle;
    QString FPath;
    QString FTitle;
    QString FDefaultTopic;
    QString FContentsFile;
    QString FIndexFile;
    std::map<std::uint32_t, QString> FContexts;
};

// Normalises a path inside a help file: forward slashes, a leading '/', no
// "." or ".." steps. Empty when it climbs above the root.
QString NormaliseChmPath(const QString& Path);

// Text of an HTML page or site map inside a help file: in the character set
// the page declares, else UTF-8 when valid, else the single-byte code page.
QString DecodeHtmlText(const QByteArray& Bytes);

// The pop-up topics of a text-topics file: ".topic <id>" starts a topic and
// the lines up to the next ".topic" are its text; Names resolves symbolic
// ids. Blank lines separate paragraphs; lines starting with ';' are notes.
std::map<std::uint32_t, QString> ParsePopupTopics(const QString& Text,
                                                  const std::map<QString, std::uint32_t>& Names = {});

} // namespace wdx::common

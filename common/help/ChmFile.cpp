#include "common/help/ChmFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <chm_lib.h>

#include <cstring>

namespace wdx::common {

namespace {
// Settings record codes of the "#SYSTEM" file.
constexpr std::uint16_t SysContentsFile = 0;
constexpr std::uint16_t SysIndexFile = 1;
constexpr std::uint16_t SysDefaultTopic = 2;
constexpr std::uint16_t SysTitle = 3;

std::uint32_t ReadLE32(const QByteArray& B, qsizetype At) {
    const auto* p = reinterpret_cast<const unsigned char*>(B.constData()) + At;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t ReadLE16(const QByteArray& B, qsizetype At) {
    const auto* p = reinterpret_cast<const unsigned char*>(B.constData()) + At;
    return std::uint16_t(p[0] | p[1] << 8);
}

// Texts stored by the help compiler: UTF-8 when they are valid UTF-8, else
// the single-byte code page of the file (read as Latin-1).
QString DecodeStored(QByteArrayView Bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(Bytes);
    return utf8.hasError() ? QString::fromLatin1(Bytes) : s;
}

// The zero-terminated text at Offset of Bytes (to the end when unterminated).
QString CStringAt(const QByteArray& Bytes, qsizetype Offset) {
    if (Offset < 0 || Offset >= Bytes.size())
        return {};
    const qsizetype end = Bytes.indexOf('\0', Offset);
    return DecodeStored(QByteArrayView(Bytes).sliced(Offset, (end < 0 ? Bytes.size() : end) - Offset));
}

int CollectFile(chmFile*, chmUnitInfo* Unit, void* Context) {
    auto* list = static_cast<QStringList*>(Context);
    const QString path = DecodeStored(QByteArrayView(Unit->path, qsizetype(std::strlen(Unit->path))));
    if (!path.endsWith(u'/'))
        list->append(path);
    return CHM_ENUMERATOR_CONTINUE;
}

std::uint64_t ReadLE64(const QByteArray& B, qsizetype At) {
    return std::uint64_t(ReadLE32(B, At)) | std::uint64_t(ReadLE32(B, At + 4)) << 32;
}

struct TExtentCheck {
    std::uint64_t DataOffset;
    std::uint64_t FileSize;
    bool Ok = true;
};

int CheckExtent(chmFile*, chmUnitInfo* Unit, void* Context) {
    auto* check = static_cast<TExtentCheck*>(Context);
    // Uncompressed units (the compressed section is one of them) must lie
    // inside the file.
    if (Unit->space == CHM_UNCOMPRESSED) {
        const std::uint64_t start = check->DataOffset + Unit->start;
        if (start < check->DataOffset || Unit->length > check->FileSize ||
            start > check->FileSize - Unit->length) {
            check->Ok = false;
            return CHM_ENUMERATOR_SUCCESS;
        }
    }
    return CHM_ENUMERATOR_CONTINUE;
}

// A file cut short reads as zeros past its end instead of failing, so its
// layout is checked against its size before anything is read from it.
bool WithinFile(chmFile* Handle, const QString& Path) {
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = f.read(0x60);
    const auto size = static_cast<std::uint64_t>(f.size());
    if (header.size() < 0x58 || !header.startsWith("ITSF"))
        return false;
    const std::uint32_t version = ReadLE32(header, 4);
    const std::uint32_t headerLength = ReadLE32(header, 8);
    const std::uint64_t dirOffset = ReadLE64(header, 0x48);
    const std::uint64_t dirLength = ReadLE64(header, 0x50);
    if (dirOffset > size || dirLength > size - dirOffset)
        return false;
    std::uint64_t dataOffset = dirOffset + dirLength;
    if (version >= 3 && headerLength >= 0x60 && header.size() >= 0x60)
        dataOffset = ReadLE64(header, 0x58);
    if (dataOffset > size)
        return false;
    TExtentCheck check{dataOffset, size};
    chm_enumerate(Handle, CHM_ENUMERATE_ALL, CheckExtent, &check);
    return check.Ok;
}

std::optional<std::uint32_t> ParseId(const QString& Token) {
    bool ok = false;
    const qulonglong v = Token.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                             ? Token.mid(2).toULongLong(&ok, 16)
                             : Token.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}
} // namespace

QString DecodeHtmlText(const QByteArray& Bytes) {
    if (Bytes.left(2048).toLower().contains("charset")) {
        QStringDecoder declared = QStringDecoder::decoderForHtml(Bytes);
        if (declared.isValid())
            return declared.decode(Bytes);
    }
    return DecodeStored(Bytes);
}

QString NormaliseChmPath(const QString& Path) {
    QString p = Path;
    p.replace(u'\\', u'/');
    QStringList out;
    for (const QString& part : p.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (out.isEmpty())
                return {};
            out.removeLast();
            continue;
        }
        out.append(part);
    }
    return out.isEmpty() ? QString() : QStringLiteral("/") + out.join(u'/');
}

std::unique_ptr<TChmFile> TChmFile::Open(const QString& Path) {
    // Only a regular file: a pipe or device of that name would block the reader.
    if (!QFileInfo(Path).isFile())
        return nullptr;
    chmFile* handle = chm_open(QFile::encodeName(Path).constData());
    if (!handle)
        return nullptr;
    std::unique_ptr<TChmFile> file(new TChmFile(handle, Path));
    if (!WithinFile(handle, Path))
        return nullptr;
    file->ReadSystem();
    file->ReadContextMap();
    return file;
}

TChmFile::TChmFile(chmFile* Handle, const QString& Path) : FHandle(Handle), FPath(Path) {}

TChmFile::~TChmFile() {
    chm_close(FHandle);
}

bool TChmFile::Exists(const QString& InternalPath) const {
    const QString p = NormaliseChmPath(InternalPath);
    if (p.isEmpty())
        return false;
    chmUnitInfo unit{};
    return chm_resolve_object(FHandle, p.toUtf8().constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> TChmFile::Read(const QString& InternalPath) const {
    const QString p = NormaliseChmPath(InternalPath);
    if (p.isEmpty())
        return std::nullopt;
    const QByteArray name = p.toUtf8();
    if (name.size() > CHM_MAX_PATHLEN)
        return std::nullopt;
    chmUnitInfo unit{};
    if (chm_resolve_object(FHandle, name.constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > MaxObjectSize)
        return std::nullopt;
    QByteArray data(qsizetype(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return data;
    const LONGINT64 got = chm_retrieve_object(FHandle, &unit, reinterpret_cast<unsigned char*>(data.data()),
                                              0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        return std::nullopt;
    return data;
}

QStringList TChmFile::Files() const {
    QStringList files;
    chm_enumerate(FHandle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, CollectFile, &files);
    return files;
}

void TChmFile::ReadSystem() {
    const std::optional<QByteArray> sys = Read(QStringLiteral("/#SYSTEM"));
    if (sys) {
        // A version number, then records of code, length and data.
        qsizetype at = 4;
        while (at + 4 <= sys->size()) {
            const std::uint16_t code = ReadLE16(*sys, at);
            const std::uint16_t length = ReadLE16(*sys, at + 2);
            at += 4;
            if (at + length > sys->size())
                break;
            const QByteArray data = sys->mid(at, length);
            at += length;
            switch (code) {
            case SysContentsFile:
                FContentsFile = CStringAt(data, 0);
                break;
            case SysIndexFile:
                FIndexFile = CStringAt(data, 0);
                break;
            case SysDefaultTopic:
                FDefaultTopic = CStringAt(data, 0);
                break;
            case SysTitle:
                FTitle = CStringAt(data, 0);
                break;
            default:
                break;
            }
        }
    }
    // Without settings, the first contents and index files found serve.
    if (FContentsFile.isEmpty() || FIndexFile.isEmpty()) {
        for (const QString& f : Files()) {
            if (FContentsFile.isEmpty() && f.endsWith(QStringLiteral(".hhc"), Qt::CaseInsensitive))
                FContentsFile = f;
            if (FIndexFile.isEmpty() && f.endsWith(QStringLiteral(".hhk"), Qt::CaseInsensitive))
                FIndexFile = f;
        }
    }
    FContentsFile = ResolveStoredPath(FContentsFile);
    FIndexFile = ResolveStoredPath(FIndexFile);
    FDefaultTopic = ResolveStoredPath(FDefaultTopic);
}

void TChmFile::ReadContextMap() {
    // "#IVB": the byte length of the map, then pairs of context id and offset
    // of the topic's name in "#STRINGS".
    const std::optional<QByteArray> ivb = Read(QStringLiteral("/#IVB"));
    const std::optional<QByteArray> strings = Read(QStringLiteral("/#STRINGS"));
    if (!ivb || !strings || ivb->size() < 4)
        return;
    const qsizetype length = std::min<qsizetype>(ReadLE32(*ivb, 0), ivb->size() - 4);
    for (qsizetype at = 4; at + 8 <= 4 + length; at += 8) {
        const std::uint32_t id = ReadLE32(*ivb, at);
        const QString topic = CStringAt(*strings, ReadLE32(*ivb, at + 4));
        if (!topic.isEmpty())
            FContexts.emplace(id, ResolveStoredPath(topic));
    }
}

QString TChmFile::ResolveStoredPath(const QString& Stored) const {
    QString s = Stored;
    if (qsizetype sep = s.indexOf(QStringLiteral("::")); sep >= 0)
        s = s.mid(sep + 2);
    const QString p = NormaliseChmPath(s);
    if (p.isEmpty() || Exists(p))
        return p;
    // Some compilers store the name with the folder it was compiled in
    // ("/home/x/help/topic.htm"): the longest tail that exists is the file.
    for (qsizetype slash = p.indexOf(u'/', 1); slash > 0; slash = p.indexOf(u'/', slash + 1)) {
        const QString tail = p.mid(slash);
        if (Exists(tail))
            return tail;
    }
    return p;
}

QString TChmFile::TopicOfContext(std::uint32_t Id) const {
    auto it = FContexts.find(Id);
    if (it == FContexts.end() || !Exists(it->second))
        return {};
    return it->second;
}

std::optional<QString> TChmFile::PopupText(const QString& TopicsFile, std::uint32_t Id) const {
    const std::optional<QByteArray> raw = Read(TopicsFile);
    if (!raw)
        return std::nullopt;
    const QString text = DecodeStored(*raw);
    // Symbolic topic ids are defined by the header files compiled in with it.
    std::map<QString, std::uint32_t> names;
    static const QRegularExpression symbolic(QStringLiteral("^\\.topic\\s+[A-Za-z_]"),
                                             QRegularExpression::MultilineOption);
    if (text.contains(symbolic)) {
        static const QRegularExpression define(QStringLiteral("^\\s*#define\\s+(\\w+)\\s+(\\w+)"),
                                               QRegularExpression::MultilineOption);
        for (const QString& f : Files()) {
            if (!f.endsWith(QStringLiteral(".h"), Qt::CaseInsensitive) &&
                !f.endsWith(QStringLiteral(".hh"), Qt::CaseInsensitive) &&
                !f.endsWith(QStringLiteral(".hm"), Qt::CaseInsensitive))
                continue;
            if (std::optional<QByteArray> header = Read(f)) {
                auto m = define.globalMatch(DecodeStored(*header));
                while (m.hasNext()) {
                    auto match = m.next();
                    if (auto v = ParseId(match.captured(2)))
                        names.emplace(match.captured(1), *v);
                }
            }
        }
    }
    const auto topics = ParsePopupTopics(text, names);
    auto it = topics.find(Id);
    if (it == topics.end())
        return std::nullopt;
    return it->second;
}

std::map<std::uint32_t, QString> ParsePopupTopics(const QString& Text,
                                                  const std::map<QString, std::uint32_t>& Names) {
    std::map<std::uint32_t, QString> topics;
    std::optional<std::uint32_t> current;
    QStringList lines;
    auto flush = [&] {
        if (current) {
            // Paragraphs are separated by blank lines; lines within one run on.
            QStringList paragraphs;
            QString para;
            for (const QString& l : lines) {
                if (l.trimmed().isEmpty()) {
                    if (!para.isEmpty())
                        paragraphs.append(para);
                    para.clear();
                } else {
                    para += (para.isEmpty() ? QString() : QStringLiteral(" ")) + l.trimmed();
                }
            }
            if (!para.isEmpty())
                paragraphs.append(para);
            topics.insert_or_assign(*current, paragraphs.join(QStringLiteral("\n\n")));
        }
        current.reset();
        lines.clear();
    };
    for (QString line : Text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral(".topic"), Qt::CaseInsensitive) &&
            (trimmed.size() == 6 || trimmed.at(6).isSpace())) {
            flush();
            const QString token = trimmed.mid(6).trimmed().section(u' ', 0, 0);
            if (auto id = ParseId(token))
                current = id;
            else if (auto n = Names.find(token); n != Names.end())
                current = n->second;
            continue;
        }
        // A line starting with ';' is a note for whoever edits the file.
        if (current && !trimmed.startsWith(u';'))
            lines.append(line);
    }
    flush();
    return topics;
}

} // namespace wdx::common

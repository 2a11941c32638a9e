#include "mail/SpamMaildir.h"

#include "mail/HeaderFields.h"
#include "platform/DurableFile.h"
#include "settings/API_IniFileAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kOnServer = QStringLiteral("onserver");
const QString kDeleted = QStringLiteral("deleted");

// A mail program that has read a copy moves it to cur and appends ":2," and
// its flags; the name before that is ours.
QString ownName(const QString& fileName) { return fileName.section(u':', 0, 0); }

// Name parts: seconds since 1970, the message's key, the state.
struct NameParts {
    qint64 seconds = -1;
    QString key;
    QString state;
};

NameParts parts(const QString& fileName)
{
    const QStringList fields = ownName(fileName).split(u'.');
    NameParts name;
    if (fields.size() != 3)
        return name;
    bool number = false;
    const qint64 seconds = fields[0].toLongLong(&number);
    if (number && (fields[2] == kOnServer || fields[2] == kDeleted))
        name = { seconds, fields[1], fields[2] };
    return name;
}

// True when the file holds exactly these bytes.
bool holds(const QString& path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    constexpr qint64 block = 1024 * 1024;
    for (qint64 at = 0; at < bytes.size(); at += block)
        if (file.read(block) != bytes.sliced(at, qMin(block, bytes.size() - at)))
            return false;
    return true;
}

// Enough of a copy to show its sender, date and subject.
constexpr qint64 kHeaderRead = 64 * 1024;

} // namespace

SpamMaildir::SpamMaildir(QString folder, QString mailbox)
    : m_folder(std::move(folder))
    , m_mailbox(std::move(mailbox))
{
}

QString SpamMaildir::BesideSettings()
{
    return QFileInfo(API_IniFileAccess::GetIniFilePath()).absolutePath() + QStringLiteral("/Spam");
}

QString SpamMaildir::find(const QString& name) const
{
    for (const char16_t* sub : { u"new", u"cur" }) {
        const QDir dir(m_folder + u'/' + QString::fromUtf16(sub));
        for (const QString& file : dir.entryList({ name + u'*' }, QDir::Files))
            if (ownName(file) == name)
                return dir.filePath(file);
    }
    return {};
}

QString SpamMaildir::Keep(const QString& identifier, QByteArray message)
{
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash((m_mailbox + u'\n' + identifier).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(20));
    if (!QDir().mkpath(m_folder + QStringLiteral("/tmp")) || !QDir().mkpath(m_folder + QStringLiteral("/new"))
        || !QDir().mkpath(m_folder + QStringLiteral("/cur")))
        return {};
    const QString seconds = QString::number(QDateTime::currentSecsSinceEpoch());
    // Two messages of one identifier in the same second still get a name each.
    QString name = seconds + u'.' + key + u'.' + kOnServer;
    for (int n = 2; !find(name).isEmpty() || QFileInfo::exists(m_folder + QStringLiteral("/tmp/") + name);
         ++n)
        name = seconds + u'.' + key + u'-' + QString::number(n) + u'.' + kOnServer;
    // Written whole in tmp, then moved into new: a reader never sees half a copy.
    const QString written = m_folder + QStringLiteral("/tmp/") + name;
    if (!DurableFile::CreateNew(written, message))
        return {};
    if (!DurableFile::Rename(written, m_folder + QStringLiteral("/new/") + name)) {
        QFile::remove(written);
        return {};
    }
    // The same message found again, after its deletion failed, leaves one
    // copy: an older one that holds the very same bytes goes.
    for (const char16_t* sub : { u"new", u"cur" }) {
        const QDir dir(m_folder + u'/' + QString::fromUtf16(sub));
        for (const QString& file : dir.entryList({ u'*' + key + u'*' }, QDir::Files)) {
            const NameParts old = parts(file);
            if (old.state == kOnServer && old.key.section(u'-', 0, 0) == key && ownName(file) != name
                && holds(dir.filePath(file), message))
                QFile::remove(dir.filePath(file));
        }
    }
    return name;
}

void SpamMaildir::MarkDeleted(const QStringList& names)
{
    for (const QString& name : names) {
        const QString path = find(name);
        if (path.isEmpty() || parts(QFileInfo(path).fileName()).state != kOnServer)
            continue;
        const QString file = QFileInfo(path).fileName();
        const QString renamed
            = ownName(file).chopped(kOnServer.size()) + kDeleted + file.sliced(ownName(file).size());
        DurableFile::Rename(path, QFileInfo(path).absolutePath() + u'/' + renamed);
    }
}

QList<SpamMaildir::Copy> SpamMaildir::Copies() const
{
    QList<Copy> copies;
    for (const char16_t* sub : { u"new", u"cur" }) {
        const QDir dir(m_folder + u'/' + QString::fromUtf16(sub));
        for (const QString& file : dir.entryList(QDir::Files)) {
            const NameParts name = parts(file);
            if (name.seconds < 0)
                continue; // a message some other program put here
            QFile in(dir.filePath(file));
            if (!in.open(QIODevice::ReadOnly))
                continue;
            copies.append({ ownName(file), QDateTime::fromSecsSinceEpoch(name.seconds),
                ExtractHeaderFields(in.read(kHeaderRead)), name.state == kDeleted });
        }
    }
    std::stable_sort(
        copies.begin(), copies.end(), [](const Copy& a, const Copy& b) { return a.kept > b.kept; });
    return copies;
}

void SpamMaildir::Prune(const QDateTime& now)
{
    struct Held {
        QString path;
        qint64 seconds;
        qint64 size;
    };
    QList<Held> held;
    for (const char16_t* sub : { u"new", u"cur" }) {
        const QDir dir(m_folder + u'/' + QString::fromUtf16(sub));
        for (const QFileInfo& file : dir.entryInfoList(QDir::Files))
            if (const NameParts name = parts(file.fileName()); name.seconds >= 0)
                held.append({ file.filePath(), name.seconds, file.size() });
    }
    std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.seconds > b.seconds; });
    const qint64 oldest = now.toSecsSinceEpoch() - KeepDays * 24 * 60 * 60;
    qint64 total = 0;
    for (const Held& copy : held) {
        total += copy.size;
        if (copy.seconds < oldest || total > KeepBytes)
            QFile::remove(copy.path);
    }
}

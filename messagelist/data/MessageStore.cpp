#include "messagelist/data/MessageStore.h"

#include "mail/MailMessage.h"
#include "platform/core/AppError.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QHashFunctions>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>

namespace larkspan {

namespace {

constexpr size_t kCachedBodies = 4;
// Messages wait in memory until this much has gathered; a larger one goes alone.
constexpr qsizetype kHeldBytes = 256 * 1024;
// How much of the newest part of the file stays in the page cache.
constexpr qint64 kCachedStoreBytes = 16 * 1024 * 1024;
constexpr qint64 kDiskStepBytes = 4 * 1024 * 1024;
const QString kSuffix = QStringLiteral(".store");

QString DescribeStoreFailure(const QString &what, const QString &reason)
{
    return QStringLiteral("The message store %1 could not be written: %2").arg(QDir::toNativeSeparators(what), reason);
}

} // namespace

MessageStore &MessageStore::instance()
{
    static MessageStore store;
    return store;
}

MessageStore::MessageStore() : m_key(size_t(QRandomGenerator::system()->generate64())) {}

MessageStore::~MessageStore()
{
    remove();
}

QString MessageStore::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/larkspan");
}

int MessageStore::sweepLeftovers()
{
    const QDir dir(folder());
    int removed = 0;
    const QString own = instance().filePath();
    for (const QFileInfo &entry : dir.entryInfoList({QLatin1Char('*') + kSuffix}, QDir::Files | QDir::Hidden)) {
        if (entry.absoluteFilePath() == own)
            continue;
        QFile file(entry.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // A run that is alive holds its file locked; only a dead run's file is free.
        if (flock(file.handle(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (QFile::remove(entry.absoluteFilePath())) {
            ++removed;
            qCDebug(lcUi) << "removed the message store of a run that ended without cleaning up:" << entry.fileName();
        }
    }
    return removed;
}

QString MessageStore::filePath() const
{
    return m_file ? m_file->fileName() : QString();
}

void MessageStore::open()
{
    const QString dir = folder();
    if (!QDir().mkpath(dir))
        throw AppError(ErrorCode::PathFileAccess, DescribeStoreFailure(dir, QStringLiteral("the folder cannot be made")));
    // Mail is private: only its owner may look into the folder.
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString name = QStringLiteral("%1/run-%2-%3%4")
                             .arg(dir)
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                             .arg(kSuffix);
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFile::ReadOwner | QFile::WriteOwner))
        throw AppError(ErrorCode::PathFileAccess, DescribeStoreFailure(name, file->errorString()));
    flock(file->handle(), LOCK_EX | LOCK_NB);
    m_file = std::move(file);
    forgetPlaces();
}

void MessageStore::forgetPlaces()
{
    m_held = QByteArray();
    m_written = 0;
    m_released = 0;
}

void MessageStore::writeAtEnd(const QByteArray &bytes)
{
    QString reason;
    if (!m_file->seek(m_written))
        reason = m_file->errorString();
    else
        reason = WriteAllBytes(*m_file, bytes);
    if (!reason.isEmpty()) {
        // What did get written is not part of any message.
        m_file->resize(m_written);
        throw AppError(ErrorCode::DeviceIo, DescribeStoreFailure(m_file->fileName(), reason));
    }
    const qint64 before = m_written;
    m_written += bytes.size();
    if (m_written < kCachedStoreBytes)
        return;
    // Past the first few megabytes (a big folder), what is written goes on to the disk
    // at once and the page cache lets go of all but the newest part: gigabytes of fresh
    // cache pages to fill otherwise cost the listing more than anything else it does.
    // Older messages are then read back from the disk.
    // In 4 MB steps: each hand-over costs a round to the device.
    if (before >= kCachedStoreBytes && before / kDiskStepBytes == m_written / kDiskStepBytes)
        return;
    const qint64 syncFrom = before < kCachedStoreBytes ? 0 : before / kDiskStepBytes * kDiskStepBytes;
    sync_file_range(m_file->handle(), syncFrom, m_written - syncFrom, SYNC_FILE_RANGE_WRITE);
    if (m_written - m_released >= 2 * kCachedStoreBytes) {
        const qint64 start = std::max<qint64>(0, m_released - kCachedStoreBytes);
        posix_fadvise(m_file->handle(), start, m_written - kCachedStoreBytes - start, POSIX_FADV_DONTNEED);
        m_released = m_written - kCachedStoreBytes;
    }
}

void MessageStore::flush()
{
    if (!m_file || m_held.isEmpty())
        return;
    writeAtEnd(m_held);
    m_held.resize(0); // keeps its room for the next messages
}

StoredMessage MessageStore::append(const QByteArray &raw)
{
    if (!m_file)
        open();
    if (m_held.size() + raw.size() > kHeldBytes)
        flush();
    StoredMessage where{m_generation, bytesStored(), raw.size(), {}};
    if (raw.size() >= kHeldBytes) {
        writeAtEnd(raw);
    } else {
        if (m_held.capacity() < kHeldBytes)
            m_held.reserve(kHeldBytes);
        m_held += raw;
    }
    where.check = qHash(QByteArrayView(raw), m_key);
    return where;
}

QByteArray MessageStore::read(const StoredMessage &where)
{
    if (!where.isStored() || where.generation != m_generation || !m_file)
        throw AppError(ErrorCode::FileNotFound,
                       QStringLiteral("this message is no longer in the message store; list the folder again"));
    QByteArray raw;
    // A message lies wholly in the file or wholly among the held ones.
    if (where.offset >= m_written)
        raw = m_held.mid(where.offset - m_written, where.size);
    else if (m_file->seek(where.offset))
        raw = m_file->read(where.size);
    if (raw.size() != where.size || qHash(QByteArrayView(raw), m_key) != where.check)
        throw AppError(ErrorCode::DeviceIo,
                       QStringLiteral("the stored copy of this message in %1 was changed or cut short; list the folder again")
                           .arg(QDir::toNativeSeparators(m_file->fileName())));
    return raw;
}

MessageBodies MessageStore::bodies(const StoredMessage &where)
{
    for (const CachedBodies &cached : m_cache)
        if (cached.generation == where.generation && cached.offset == where.offset)
            return cached.bodies;
    const std::unique_ptr<MailMessage> message =
        MailMessage::fromBytes(read(where), {}, MailMessage::Attachments::Describe);
    MessageBodies bodies{message->plainTextBody(), message->htmlBody(), message->toText(),
                         message->ccText(),        message->messageId(), message->attachments()};
    m_cache.push_front({where.generation, where.offset, bodies});
    if (m_cache.size() > kCachedBodies)
        m_cache.pop_back();
    return bodies;
}

void MessageStore::dropAll()
{
    ++m_generation;
    m_cache.clear();
    forgetPlaces();
    if (m_file)
        m_file->resize(0);
}

void MessageStore::remove()
{
    ++m_generation;
    m_cache.clear();
    forgetPlaces();
    if (!m_file)
        return;
    const QString name = m_file->fileName();
    m_file->close();
    m_file.reset();
    QFile::remove(name);
}

} // namespace larkspan

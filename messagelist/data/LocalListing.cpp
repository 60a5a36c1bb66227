#include "messagelist/data/LocalListing.h"

#include "mail/MailMessage.h"
#include "mail/OleDate.h"
#include "mail/local/LocalMailSource.h"
#include "mail/local/MaildirFolders.h"
#include "mail/local/MaildirSource.h"
#include "mail/local/MboxSource.h"
#include "mail/local/ReadLocalMessage.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/Yield.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace larkspan {

namespace {

MessageSource::Kind KindOf(const LocalMailSource &source)
{
    if (dynamic_cast<const MboxSource *>(&source))
        return MessageSource::Kind::Mbox;
    if (dynamic_cast<const MaildirSource *>(&source))
        return MessageSource::Kind::Maildir;
    return MessageSource::Kind::EmlFiles;
}

} // namespace

LocalListing::LocalListing(QObject *parent) : QObject(parent) {}

LocalListing::~LocalListing() = default;

std::unique_ptr<LocalMailSource> LocalListing::open(const QStringList &paths, const QString &folder)
{
    QStringList absolute;
    for (const QString &path : paths)
        absolute << QFileInfo(path).absoluteFilePath();
    if (!folder.isEmpty() && absolute.size() == 1 && QFileInfo(absolute.first()).isDir())
        return MaildirSource::openFolder(absolute.first(), folder);
    return OpenLocalMailSource(absolute);
}

LocalListing::Folders LocalListing::foldersOf(const QStringList &paths)
{
    Folders out;
    if (paths.isEmpty())
        return out;
    const QFileInfo first(paths.first());
    if (paths.size() > 1) {
        out.names << QStringLiteral("%1 .eml files").arg(paths.size());
    } else if (first.isDir()) {
        // A folder that is no Maildir is named by the listing's own error.
        try {
            for (const MaildirFolder &folder : ListMaildirFolders(first.absoluteFilePath()))
                out.names << folder.name;
            out.tree = true;
        } catch (const AppError &) {
            out.names = {first.fileName()};
        }
    } else {
        out.names << first.fileName();
    }
    return out;
}

void LocalListing::stop()
{
    m_stopped = true;
}

void LocalListing::reset()
{
    m_records.redim(0);
    m_latest = MessageRecord();
    m_error.clear();
    m_failure = Failure::None;
    m_count = 0;
    m_stopped = false;
}

bool LocalListing::run(const QStringList &paths, int first, int last, const QString &filter, const QString &folder)
{
    return scan(paths, folder) && list(first, last, filter);
}

bool LocalListing::run(std::unique_ptr<LocalMailSource> source, int first, int last, const QString &filter,
                       const QString &folder)
{
    return scan(std::move(source), folder) && list(first, last, filter);
}

bool LocalListing::scan(const QStringList &paths, const QString &folder)
{
    try {
        return scan(open(paths, folder), folder);
    } catch (...) {
        reset();
        m_source.reset();
        m_sourceSize = m_expunged = 0;
        m_error = DescribeException(std::current_exception());
        m_failure = Failure::Open;
        return false;
    }
}

bool LocalListing::scan(std::unique_ptr<LocalMailSource> source, const QString &folder)
{
    reset();
    m_source = std::move(source);
    m_folder = folder;
    m_sourceSize = m_expunged = 0;
    // The scan keeps only each message's place; the file streams past it.
    try {
        while (!m_stopped && m_source->scanStep()) {
            emit scanning(m_source->scanDone(), m_source->scanTotal());
            YieldToEventLoop();
        }
    } catch (...) {
        m_error = DescribeException(std::current_exception());
        m_failure = Failure::Open;
        m_source.reset();
        return false;
    }
    if (m_stopped) {
        m_error = QStringLiteral("The listing was stopped.");
        m_failure = Failure::Stopped;
        m_source.reset();
        return false;
    }
    m_sourceSize = int(m_source->messages().size());
    m_expunged = m_source->expungedLeftOut();
    return true;
}

bool LocalListing::list(int first, int last, const QString &filter)
{
    const bool stoppedBefore = m_stopped;
    reset();
    m_stopped = stoppedBefore;
    if (!m_source) {
        m_error = QStringLiteral("No mail file or folder was opened.");
        m_failure = Failure::Open;
        return false;
    }
    // The source's places go with the walk: the records keep what they need.
    const std::unique_ptr<LocalMailSource> source = std::move(m_source);
    const QList<LocalMessageEntry> &entries = source->messages();
    if (last <= 0 || last > m_sourceSize)
        last = m_sourceSize;
    first = std::max(first, 1);
    if (first > last) {
        if (m_sourceSize > 0 || first > 1) {
            m_error = QStringLiteral("%1 holds %2 messages; there is no message %3.")
                          .arg(QDir::toNativeSeparators(source->path()))
                          .arg(m_sourceSize)
                          .arg(first);
            m_failure = Failure::Range;
        }
        return m_sourceSize == 0 && first == 1;
    }

    const MessageSource::Kind kind = KindOf(*source);
    QString shownName = m_folder;
    if (shownName.isEmpty() && kind != MessageSource::Kind::EmlFiles)
        shownName = QFileInfo(source->path()).fileName();
    m_recorder.beginLocal(kind, kind == MessageSource::Kind::EmlFiles ? QString() : source->path(), shownName);
    // A growing array would move every record each time it doubles.
    if (m_keepRecords)
        m_records.reserve(last - first + 1);
    for (int i = first; i <= last && !m_stopped; ++i) {
        emit progress(i, last);
        const LocalMessageEntry &entry = entries[i - 1];
        try {
            // Read once for the list's texts; the record keeps only where it lies.
            const std::unique_ptr<MailMessage> message =
                MailMessage::fromBytes(ReadLocalMessage(entry), entry.arrivalAsInternalDate());
            const ListedTexts texts{message->fromText(), message->senderName(),
                                    message->senderAddress(), message->subject(),
                                    OleDateToGeneralText(message->date()), message->plainTextBody(),
                                    message->htmlBody()};
            if (std::optional<MessageRecord> record = m_recorder.takeLocal(filter, texts, entry, *message)) {
                m_latest = std::move(*record);
                if (m_keepRecords)
                    m_records.append(m_latest);
                emit listed(++m_count);
            }
        } catch (...) {
            m_error = DescribeException(std::current_exception());
            m_failure = Failure::Read;
            break;
        }
        YieldToEventLoop();
    }
    if (m_stopped && m_error.isEmpty()) {
        m_error = QStringLiteral("The listing was stopped.");
        m_failure = Failure::Stopped;
    }
    return true;
}

} // namespace larkspan

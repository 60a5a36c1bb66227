#include "mail/local/EmlFilesSource.h"

#include "mail/ImapCodec.h"
#include "mail/local/LocalSourceErrors.h"
#include "mail/local/MboxFormat.h"
#include "mail/local/SliceCheck.h"

#include <QDir>
#include <QFile>

namespace larkspan {

namespace {

constexpr qint64 kStepBytes = 8 * 1024 * 1024;
constexpr int kStepFiles = 256;
constexpr qint64 kChunk = 1024 * 1024;
constexpr qint64 kHeadBytes = 64 * 1024;

// Fields that every mail message has some of; a text file that merely starts with
// "Note: ..." has none.
bool IsMessageField(QByteArrayView name)
{
    static const char *const fields[] = {"from", "to", "cc", "subject", "date", "message-id", "received",
                                         "return-path", "mime-version", "content-type", "sender", "reply-to",
                                         "delivered-to", "in-reply-to", "references", "x-mozilla-status"};
    for (const char *field : fields)
        if (name.compare(QByteArrayView(field), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Why head (the first octets after any From_ line) is not the start of a message;
// empty when it is.
QString NotAMessage(QByteArrayView head)
{
    if (local::LooksBinary(head))
        return QStringLiteral("it holds binary data") + local::CompressedHint(head);
    if (!local::StartsWithHeaderField(head))
        return QStringLiteral("its first line is not a header field such as \"From: ...\" or \"Subject: ...\"");
    // The header lines up to the blank line, or as far as the head reaches.
    qsizetype at = 0;
    while (at < head.size()) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        const qsizetype colon = line.indexOf(':');
        if (line[0] != ' ' && line[0] != '\t' && colon > 0 && IsMessageField(line.first(colon).trimmed()))
            return QString();
        at = end + 1;
    }
    return QStringLiteral("its header holds none of the fields of a mail message (From, To, Subject, Date, ...)");
}

} // namespace

EmlFilesSource::EmlFilesSource(const QStringList &files)
    : LocalMailSource(files.value(0)), m_files(files)
{
}

std::unique_ptr<EmlFilesSource> EmlFilesSource::open(const QStringList &files)
{
    if (files.isEmpty())
        throw AppError(ErrorCode::BadFileNameOrNumber, QStringLiteral("no .eml file was given"));
    std::unique_ptr<EmlFilesSource> source(new EmlFilesSource(files));
    source->m_total = files.size();
    return source;
}

bool EmlFilesSource::scanStep()
{
    qint64 bytes = 0;
    int files = 0;
    while (m_next < m_files.size() && bytes < kStepBytes && files < kStepFiles) {
        const QString path = m_files.at(m_next++);
        ++files;
        LocalMessageEntry entry;
        entry.kind = LocalMessageEntry::Kind::EmlFile;
        entry.sourcePath = path;
        entry.filePath = path;
        entry.position = int(m_messages.size()) + 1;
        const QString named = local::Named(entry.kind, path);
        QFile file(path);
        if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            entry.problem = local::OpenFailure(named, path, file).description();
            m_messages.append(entry);
            continue;
        }
        const qint64 size = file.size();
        QByteArray head = file.read(kHeadBytes);
        QString problem;
        if (size == 0) {
            problem = QStringLiteral("The .eml file %1 is empty (0 bytes).").arg(QDir::toNativeSeparators(path));
        } else if (head.isEmpty()) {
            problem = AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read (%2)").arg(named, file.errorString()))
                          .description();
        } else {
            // A From_ line some programs put first is no part of the message.
            const qsizetype firstLineEnd = head.indexOf('\n');
            QByteArrayView firstLine = QByteArrayView(head).first(firstLineEnd < 0 ? head.size() : firstLineEnd);
            if (firstLine.endsWith('\r'))
                firstLine.chop(1);
            if (firstLineEnd > 0 && mbox::IsFromLine(firstLine))
                entry.offset = firstLineEnd + 1;
            const QString cause = NotAMessage(QByteArrayView(head).sliced(entry.offset));
            if (!cause.isEmpty())
                problem = QStringLiteral("The file %1 is not a mail message: %2.").arg(QDir::toNativeSeparators(path), cause);
        }
        if (!problem.isEmpty()) {
            entry.problem = problem;
            m_messages.append(entry);
            continue;
        }
        SliceCheck check;
        entry.size = size - entry.offset;
        // Over the bound the message is never read, so it needs no check.
        if (entry.size <= imap::kLargestLiteral) {
            check.add(QByteArrayView(head).sliced(entry.offset));
            for (;;) {
                m_chunk.resize(kChunk);
                const qint64 got = file.read(m_chunk.data(), kChunk);
                if (got <= 0)
                    break;
                check.add(m_chunk.constData(), got);
            }
            if (file.error() != QFileDevice::NoError)
                entry.problem = AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read (%2)")
                                                                  .arg(named, file.errorString()))
                                    .description();
            entry.size = check.length();
        }
        entry.check = check.value();
        bytes += entry.size;
        m_messages.append(entry);
    }
    m_done = m_next;
    m_finished = m_next >= m_files.size();
    if (m_finished)
        m_chunk = QByteArray();
    return !m_finished;
}

} // namespace larkspan

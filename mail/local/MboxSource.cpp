#include "mail/local/MboxSource.h"

#include "mail/local/LocalSourceErrors.h"
#include "mail/local/MboxFormat.h"
#include "mail/local/MboxScanner.h"

#include <QDir>
#include <QFileInfo>

namespace larkspan {

namespace {

constexpr qint64 kStepBytes = 8 * 1024 * 1024;
constexpr qint64 kHeadBytes = 4096;

[[noreturn]] void RaiseNotMbox(const QString &path, const QString &cause)
{
    throw AppError(QStringLiteral("The file %1 is not an mbox file: %2.").arg(QDir::toNativeSeparators(path), cause));
}

} // namespace

MboxSource::MboxSource(const QString &path, MboxQuoting quoting)
    : LocalMailSource(path), m_quoting(quoting), m_mboxrd(quoting == MboxQuoting::Mboxrd), m_file(path)
{
}

MboxSource::~MboxSource() = default;

std::unique_ptr<MboxSource> MboxSource::open(const QString &path, MboxQuoting quoting)
{
    std::unique_ptr<MboxSource> source(new MboxSource(path, quoting));
    QFile &file = source->m_file;
    const QFileInfo info(path);
    if (info.isDir()) {
        const bool maildir = QFileInfo(path + QStringLiteral("/cur")).isDir() && QFileInfo(path + QStringLiteral("/new")).isDir();
        throw AppError(ErrorCode::PathFileAccess,
                       QStringLiteral("%1 is a folder%2")
                           .arg(local::Named(LocalMessageEntry::Kind::Mbox, path),
                                maildir ? QStringLiteral(" (a Maildir: open it as a Maildir folder)") : QString()));
    }
    if (info.exists() && !info.isFile())
        throw AppError(ErrorCode::PathFileAccess,
                       QStringLiteral("%1 is not a regular file").arg(local::Named(LocalMessageEntry::Kind::Mbox, path)));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw local::OpenFailure(local::Named(LocalMessageEntry::Kind::Mbox, path), path, file);

    const qint64 size = file.size();
    if (size == 0)
        throw AppError(QStringLiteral("The mbox file %1 is empty (0 bytes).").arg(QDir::toNativeSeparators(path)));
    const QByteArray head = file.read(kHeadBytes);
    if (head.isEmpty() && file.error() != QFileDevice::NoError)
        throw AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read (%2)")
                                                .arg(local::Named(LocalMessageEntry::Kind::Mbox, path), file.errorString()));
    if (local::LooksBinary(head))
        RaiseNotMbox(path, QStringLiteral("it holds binary data") + local::CompressedHint(head));
    QByteArrayView firstLine(head);
    const qsizetype lineEnd = firstLine.indexOf('\n');
    if (lineEnd >= 0)
        firstLine = firstLine.first(lineEnd);
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    if (lineEnd < 0 && head.size() == kHeadBytes)
        RaiseNotMbox(path, QStringLiteral("its first line is longer than a From_ line can be"));
    if (!mbox::IsFromLine(firstLine)) {
        QString cause = QStringLiteral("its first line does not begin with \"From \", a sender and a date");
        if (local::StartsWithHeaderField(firstLine))
            cause += QStringLiteral(" (it begins like a single message: open it as an .eml file)");
        RaiseNotMbox(path, cause);
    }

    source->m_total = size;
    source->m_scanner = std::make_unique<mbox::MboxScanner>(file, size);
    return source;
}

bool MboxSource::scanStep()
{
    if (m_finished)
        return false;
    QList<mbox::MboxScanner::Message> found;
    const bool more = m_scanner->step(kStepBytes, found);
    for (const mbox::MboxScanner::Message &message : std::as_const(found)) {
        if (message.expunged) {
            ++m_expunged;
            continue;
        }
        LocalMessageEntry entry;
        entry.kind = LocalMessageEntry::Kind::Mbox;
        entry.sourcePath = m_path;
        entry.filePath = m_path;
        entry.offset = message.start;
        entry.size = message.size;
        entry.position = int(m_messages.size()) + 1;
        entry.check = message.check;
        entry.arrival = message.arrival;
        if (message.cutShort)
            entry.problem = QStringLiteral("The file ends inside %1: it was cut short, as when a download or a copy "
                                           "did not finish. The messages before it are whole.")
                                .arg(local::DescribeMessage(entry));
        m_messages.append(entry);
    }
    m_done = m_scanner->scanned();
    m_total = m_scanner->size();
    if (more)
        return true;
    m_finished = true;
    m_done = m_total;
    m_mboxrd = m_quoting == MboxQuoting::Mboxrd || (m_quoting == MboxQuoting::Detect && m_scanner->sawMboxrdQuoting());
    for (LocalMessageEntry &entry : m_messages)
        entry.undoFromQuoting = m_mboxrd;
    m_scanner.reset();
    m_file.close();
    return false;
}

} // namespace larkspan

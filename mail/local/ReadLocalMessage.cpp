#include "mail/local/ReadLocalMessage.h"

#include "mail/ImapCodec.h"
#include "mail/local/LocalSourceErrors.h"
#include "mail/local/MaildirOrder.h"
#include "mail/local/MboxFormat.h"
#include "mail/local/SliceCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace larkspan {

namespace {

// The Maildir file under the name it has now: its mail program moves a file from new/
// to cur/ and rewrites the flags after the ':' as the user reads and marks it.
QString RenamedMaildirFile(const LocalMessageEntry &entry)
{
    const QString wanted = maildir::UniquePart(QFileInfo(entry.filePath).fileName());
    for (const char *folder : {"cur", "new"}) {
        const QDir dir(entry.sourcePath + QLatin1Char('/') + QLatin1String(folder));
        for (const QString &name : dir.entryList(QDir::Files | QDir::System, QDir::Unsorted))
            if (maildir::UniquePart(name) == wanted)
                return dir.filePath(name);
    }
    return QString();
}

[[noreturn]] void RaiseChanged(const LocalMessageEntry &entry, const QString &how)
{
    throw AppError(ErrorCode::DeviceIo,
                   QStringLiteral("%1 is no longer as it was listed: the file changed since (%2). List it again.")
                       .arg(local::DescribeMessage(entry), how));
}

} // namespace

QByteArray ReadLocalMessage(const LocalMessageEntry &entry)
{
    if (!entry.problem.isEmpty())
        throw AppError(entry.problem);
    if (entry.size > imap::kLargestLiteral) {
        QString message = local::DescribeMessage(entry);
        message[0] = message[0].toUpper();
        throw AppError(QStringLiteral("%1 is larger than 512 MB (%2 MB): it is not read.")
                           .arg(message)
                           .arg(qRound64(double(entry.size) / (1024 * 1024))));
    }
    const bool maildir = entry.kind == LocalMessageEntry::Kind::Maildir;
    auto named = [&](const QString &path) {
        return maildir ? local::NamedMessageFile(path) : local::Named(entry.kind, path);
    };
    QFile file(entry.filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        const QString renamed = maildir && !QFileInfo::exists(entry.filePath) ? RenamedMaildirFile(entry) : QString();
        if (renamed.isEmpty()) {
            const AppError failure = local::OpenFailure(named(entry.filePath), entry.filePath, file);
            if (!maildir)
                throw failure;
            // The message file of a Maildir: deleted or moved away by its mail program.
            throw AppError(failure.description() + QStringLiteral(" (%1)").arg(local::DescribeMessage(entry)),
                           failure.number());
        }
        file.setFileName(renamed);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw local::OpenFailure(named(renamed), renamed, file);
    }
    if (file.size() < entry.offset + entry.size)
        RaiseChanged(entry, QStringLiteral("it is shorter now"));

    QByteArray raw(entry.size, Qt::Uninitialized);
    qint64 got = 0;
    while (got < entry.size) {
        const ssize_t n = pread(file.handle(), raw.data() + got, size_t(entry.size - got), off_t(entry.offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read (%2)")
                                                    .arg(local::DescribeMessage(entry),
                                                         QString::fromLocal8Bit(std::strerror(errno))));
        if (n == 0)
            RaiseChanged(entry, QStringLiteral("it is shorter now"));
        got += n;
    }
    if (SliceCheck::of(raw) != entry.check)
        RaiseChanged(entry, QStringLiteral("the octets at the message's place differ"));
    return entry.undoFromQuoting ? mbox::UndoMboxrdQuoting(raw) : raw;
}

} // namespace larkspan

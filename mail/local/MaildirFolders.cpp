#include "mail/local/MaildirFolders.h"

#include "mail/ImapCodec.h"
#include "mail/local/LocalSourceErrors.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace larkspan {

namespace {

bool HasCurAndNew(const QString &path)
{
    return QFileInfo(path + QStringLiteral("/cur")).isDir() && QFileInfo(path + QStringLiteral("/new")).isDir();
}

} // namespace

void CheckMaildirFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString named = local::Named(LocalMessageEntry::Kind::Maildir, path);
    if (!info.exists())
        throw AppError(ErrorCode::PathNotFound, named);
    if (!info.isDir())
        throw AppError(ErrorCode::PathFileAccess,
                       QStringLiteral("%1 is a file, not a folder").arg(named));
    if (!info.isReadable() || !info.isExecutable())
        throw AppError(ErrorCode::PermissionDenied, QStringLiteral("%1 may not be read by this user").arg(named));
    if (!HasCurAndNew(path))
        throw AppError(QStringLiteral("The folder %1 is not a Maildir: it has no cur and new folders inside.")
                           .arg(QDir::toNativeSeparators(path)));
    for (const char *inside : {"/cur", "/new"}) {
        const QFileInfo folder(path + QLatin1String(inside));
        if (!folder.isReadable() || !folder.isExecutable())
            throw AppError(ErrorCode::PermissionDenied, QStringLiteral("%1 may not be read by this user")
                                                            .arg(local::Named(LocalMessageEntry::Kind::Maildir,
                                                                              folder.filePath())));
    }
}

QList<MaildirFolder> ListMaildirFolders(const QString &root)
{
    CheckMaildirFolder(root);
    QList<MaildirFolder> subfolders;
    const QDir dir(root);
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!entry.startsWith(QLatin1Char('.')) || entry.size() < 2 || !HasCurAndNew(dir.filePath(entry)))
            continue;
        subfolders.append({imap::DecodeMailboxName(entry.mid(1).toUtf8()), dir.filePath(entry)});
    }
    std::sort(subfolders.begin(), subfolders.end(),
              [](const MaildirFolder &a, const MaildirFolder &b) { return a.name < b.name; });
    subfolders.prepend({QStringLiteral("INBOX"), dir.path()});
    return subfolders;
}

} // namespace larkspan

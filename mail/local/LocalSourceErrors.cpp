#include "mail/local/LocalSourceErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace larkspan::local {

QString Named(LocalMessageEntry::Kind kind, const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    switch (kind) {
    case LocalMessageEntry::Kind::Mbox:
        return QStringLiteral("the mbox file %1").arg(shown);
    case LocalMessageEntry::Kind::Maildir:
        return QStringLiteral("the Maildir folder %1").arg(shown);
    case LocalMessageEntry::Kind::EmlFile:
        return QStringLiteral("the .eml file %1").arg(shown);
    }
    return shown;
}

QString DescribeMessage(const LocalMessageEntry &entry)
{
    switch (entry.kind) {
    case LocalMessageEntry::Kind::Mbox:
        return QStringLiteral("message %1 of %2").arg(entry.position).arg(Named(entry.kind, entry.sourcePath));
    case LocalMessageEntry::Kind::Maildir:
        return QStringLiteral("message %1 of %2 (file %3)")
            .arg(entry.position)
            .arg(Named(entry.kind, entry.sourcePath),
                 QDir::toNativeSeparators(QDir(entry.sourcePath).relativeFilePath(entry.filePath)));
    case LocalMessageEntry::Kind::EmlFile:
        return Named(entry.kind, entry.filePath);
    }
    return entry.filePath;
}

QString NamedMessageFile(const QString &path)
{
    return QStringLiteral("the message file %1").arg(QDir::toNativeSeparators(path));
}

AppError OpenFailure(const QString &named, const QString &path, const QFile &file)
{
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return AppError(ErrorCode::PathNotFound, QStringLiteral("the folder of %1 does not exist").arg(named));
    if (!info.exists())
        return AppError(ErrorCode::FileNotFound, named);
    if (info.isDir())
        return AppError(ErrorCode::PathFileAccess, QStringLiteral("%1 is a folder").arg(named));
    if (file.error() == QFileDevice::OpenError && !info.isReadable())
        return AppError(ErrorCode::PermissionDenied, QStringLiteral("%1 may not be read by this user").arg(named));
    return AppError(ErrorCode::PathFileAccess,
                    QStringLiteral("%1 cannot be read (%2)").arg(named, file.errorString()));
}

bool LooksBinary(QByteArrayView head)
{
    for (qsizetype i = 0; i < head.size(); ++i) {
        const uchar c = uchar(head[i]);
        if (c == '\n' && i + 1 < head.size() &&
            (head[i + 1] == '\n' || (head[i + 1] == '\r' && i + 2 < head.size() && head[i + 2] == '\n')))
            return false; // the end of the header lines
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1b)
            return true;
    }
    return false;
}

QString CompressedHint(QByteArrayView head)
{
    struct Magic {
        QByteArrayView bytes;
        const char *name;
    };
    static const Magic magics[] = {
        {QByteArrayView("\x1f\x8b", 2), "gzip"},
        {QByteArrayView("PK\x03\x04", 4), "zip"},
        {QByteArrayView("BZh", 3), "bzip2"},
        {QByteArrayView("\xfd" "7zXZ\x00", 6), "xz"},
        {QByteArrayView("\x28\xb5\x2f\xfd", 4), "zstd"},
        {QByteArrayView("7z\xbc\xaf\x27\x1c", 6), "7-Zip"},
    };
    for (const Magic &magic : magics)
        if (head.startsWith(magic.bytes))
            return QStringLiteral(" (a %1 archive: unpack it first)").arg(QLatin1String(magic.name));
    return QString();
}

bool StartsWithHeaderField(QByteArrayView head)
{
    // field-name = 1*(printable US-ASCII except ":"), then ":".
    for (qsizetype i = 0; i < head.size(); ++i) {
        const uchar c = uchar(head[i]);
        if (c == ':')
            return i > 0;
        if (c <= 32 || c >= 127)
            return false;
    }
    return false;
}

} // namespace larkspan::local

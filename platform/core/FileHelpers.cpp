#include "platform/core/FileHelpers.h"

#include "platform/core/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace larkspan {

namespace {

std::map<int, std::unique_ptr<QFile>> &openFiles()
{
    static std::map<int, std::unique_ptr<QFile>> files;
    return files;
}

// The error a failed open of path stands for, with the path in its text.
[[noreturn]] void raiseOpenError(const QString &path, const QFile &file, bool forWriting)
{
    const QFileInfo info(path);
    if (path.isEmpty())
        throw AppError(ErrorCode::BadFileNameOrNumber, QStringLiteral("the path is empty"));
    if (!info.absoluteDir().exists())
        throw AppError(ErrorCode::PathNotFound, path);
    if (!info.exists() && !forWriting)
        throw AppError(ErrorCode::FileNotFound, path);
    if (info.isDir())
        throw AppError(ErrorCode::PathFileAccess, QStringLiteral("%1 is a folder").arg(path));
    const bool denied = forWriting
        ? (info.exists() ? !info.isWritable() : !QFileInfo(info.absolutePath()).isWritable())
        : !info.isReadable();
    if (denied)
        throw AppError(ErrorCode::PermissionDenied, path);
    throw AppError(ErrorCode::PathFileAccess, QStringLiteral("%1 (%2)").arg(path, file.errorString()));
}

} // namespace

bool FileExistsOnDisk(const QString &path)
{
    try {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile())
            return false;
        QFile file(path);
        // Opening proves more than a directory entry: the file is there and reachable.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return info.exists(); // present but not readable by us still counts as present
        file.close();
        return true;
    } catch (...) {
        return false;
    }
}

QString ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        raiseOpenError(path, file, false);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(ErrorCode::DeviceIo, QStringLiteral("reading %1 (%2)").arg(path, file.errorString()));
    QStringDecoder decode(QStringConverter::System);
    return decode(bytes);
}

QString WriteAllBytes(QFileDevice &file, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        // After a short write, the next one fails with the reason.
        const qint64 now = file.write(bytes.constData() + written, bytes.size() - written);
        if (now <= 0)
            return file.errorString();
        written += now;
    }
    return QString();
}

void AppendToFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw AppError(ErrorCode::PathNotFound, path);
        throw AppError(ErrorCode::PermissionDenied, path);
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t now = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(now < 0 ? errno : EIO));
            ::close(fd);
            throw AppError(ErrorCode::DeviceIo, QStringLiteral("writing %1 (%2)").arg(path, reason));
        }
        written += now;
    }
    if (::close(fd) != 0 && errno != EINTR)
        throw AppError(ErrorCode::DeviceIo,
                       QStringLiteral("writing %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

int FreeFileSlot()
{
    int slot = 1;
    while (openFiles().count(slot))
        ++slot;
    return slot;
}

void OpenTextFile(const QString &path, int slot)
{
    if (slot < 1)
        throw AppError(ErrorCode::BadFileNameOrNumber, QStringLiteral("slot %1").arg(slot));
    if (openFiles().count(slot))
        throw AppError(ErrorCode::FileAlreadyOpen, QStringLiteral("slot %1 holds %2").arg(slot).arg(openFiles()[slot]->fileName()));
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        raiseOpenError(path, *file, true);
    openFiles()[slot] = std::move(file);
}

void WriteText(const QString &text, int slot)
{
    const auto found = openFiles().find(slot);
    if (found == openFiles().end())
        throw AppError(ErrorCode::BadFileNameOrNumber, QStringLiteral("slot %1 is not open").arg(slot));
    QFile &file = *found->second;
    QStringEncoder encode(QStringConverter::System);
    const QByteArray bytes = encode(text);
    const QString reason = WriteAllBytes(file, bytes);
    if (!reason.isEmpty())
        throw AppError(ErrorCode::DeviceIo, QStringLiteral("writing %1 (%2)").arg(file.fileName(), reason));
}

void CloseTextFile(int slot)
{
    Q_UNUSED(slot); // every file opened here is closed, the slot's among them
    QString failure;
    auto &files = openFiles();
    for (auto &[number, file] : files) {
        if (!file->flush() && failure.isEmpty())
            failure = QStringLiteral("writing %1 (%2)").arg(file->fileName(), file->errorString());
        file->close();
    }
    files.clear();
    if (!failure.isEmpty())
        throw AppError(ErrorCode::DeviceIo, failure);
}

} // namespace larkspan

#include "platform/FileHelpers.h"

#include "platform/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

#include <map>
#include <memory>

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
        throw AppError(QStringLiteral("Bad file name: the path is empty"), 52);
    if (!info.absoluteDir().exists())
        throw AppError(QStringLiteral("Path not found: %1").arg(path), kErrPathNotFound);
    if (!info.exists() && !forWriting)
        throw AppError(QStringLiteral("File not found: %1").arg(path), kErrFileNotFound);
    if (info.isDir())
        throw AppError(QStringLiteral("Path/File access error: %1 is a folder").arg(path), 75);
    const bool denied = forWriting
        ? (info.exists() ? !info.isWritable() : !QFileInfo(info.absolutePath()).isWritable())
        : !info.isReadable();
    if (denied)
        throw AppError(QStringLiteral("Permission denied: %1").arg(path), 70);
    throw AppError(QStringLiteral("Path/File access error: %1 (%2)").arg(path, file.errorString()), 75);
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
        throw AppError(QStringLiteral("Device I/O error reading %1 (%2)").arg(path, file.errorString()), 57);
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
        throw AppError(QStringLiteral("Bad file name or number: slot %1").arg(slot), 52);
    if (openFiles().count(slot))
        throw AppError(QStringLiteral("File already open: slot %1 holds %2").arg(slot).arg(openFiles()[slot]->fileName()), 55);
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        raiseOpenError(path, *file, true);
    openFiles()[slot] = std::move(file);
}

void WriteText(const QString &text, int slot)
{
    const auto found = openFiles().find(slot);
    if (found == openFiles().end())
        throw AppError(QStringLiteral("Bad file name or number: slot %1 is not open").arg(slot), 52);
    QFile &file = *found->second;
    QStringEncoder encode(QStringConverter::System);
    const QByteArray bytes = encode(text);
    const QString reason = WriteAllBytes(file, bytes);
    if (!reason.isEmpty())
        throw AppError(QStringLiteral("Device I/O error writing %1 (%2)").arg(file.fileName(), reason), 57);
}

void CloseTextFile(int slot)
{
    Q_UNUSED(slot); // every file opened here is closed, the slot's among them
    QString failure;
    auto &files = openFiles();
    for (auto &[number, file] : files) {
        if (!file->flush() && failure.isEmpty())
            failure = QStringLiteral("Device I/O error writing %1 (%2)").arg(file->fileName(), file->errorString());
        file->close();
    }
    files.clear();
    if (!failure.isEmpty())
        throw AppError(failure, 57);
}

} // namespace larkspan

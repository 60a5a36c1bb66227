#pragma once

// The same messages as mail on the disk: an mbox file, a Maildir folder or .eml files,
// written into a test's own folder, in the order given.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

namespace larkspan::test {

enum class DiskKind { Mbox, Maildir, EmlFiles };

// One mbox message: its From_ line, its octets, the blank line after it (CRLF, as the
// messages' own lines).
inline QByteArray MboxEntry(const QByteArray &message)
{
    return "From sender@example.org Thu Jan  1 12:00:00 2026\r\n" + message + "\r\n";
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

// Writes messages under folder as kind; what to open (the mbox file, the Maildir
// folder, the .eml files).
inline QStringList WriteDiskSource(DiskKind kind, const QString &folder, const QList<QByteArray> &messages)
{
    QStringList paths;
    switch (kind) {
    case DiskKind::Mbox: {
        QByteArray mbox;
        for (const QByteArray &message : messages)
            mbox += MboxEntry(message);
        paths << folder + QStringLiteral("/mail.mbox");
        WriteBytes(paths.first(), mbox);
        break;
    }
    case DiskKind::Maildir: {
        const QString root = folder + QStringLiteral("/Maildir");
        for (const char *sub : {"cur", "new", "tmp"})
            QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
        // Delivered a second apart, in the order given.
        for (qsizetype i = 0; i < messages.size(); ++i)
            WriteBytes(root + QStringLiteral("/cur/%1.M%2P1.test:2,S").arg(1700000000 + i).arg(i), messages[i]);
        paths << root;
        break;
    }
    case DiskKind::EmlFiles:
        for (qsizetype i = 0; i < messages.size(); ++i) {
            paths << folder + QStringLiteral("/%1.eml").arg(i + 1);
            WriteBytes(paths.last(), messages[i]);
        }
        break;
    }
    return paths;
}

} // namespace larkspan::test

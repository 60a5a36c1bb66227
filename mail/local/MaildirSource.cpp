#include "mail/local/MaildirSource.h"

#include "mail/ImapCodec.h"
#include "mail/local/LocalSourceErrors.h"
#include "mail/local/MaildirFolders.h"
#include "mail/local/MaildirOrder.h"
#include "mail/local/SliceCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace larkspan {

namespace {

constexpr qint64 kStepBytes = 8 * 1024 * 1024;
constexpr int kStepFiles = 256;
constexpr qint64 kChunk = 1024 * 1024;

} // namespace

std::unique_ptr<MaildirSource> MaildirSource::open(const QString &folder)
{
    CheckMaildirFolder(folder);
    std::unique_ptr<MaildirSource> source(new MaildirSource(folder));
    QStringList names;
    for (const char *inside : {"cur", "new"}) {
        const QDir dir(folder + QLatin1Char('/') + QLatin1String(inside));
        for (const QString &name : dir.entryList(QDir::Files | QDir::System, QDir::Unsorted))
            names.append(QLatin1String(inside) + QLatin1Char('/') + name);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return maildir::DeliveredBefore(a.mid(4), b.mid(4));
    });
    source->m_files = names;
    source->m_total = names.size();
    return source;
}

std::unique_ptr<MaildirSource> MaildirSource::openFolder(const QString &root, const QString &name)
{
    for (const MaildirFolder &folder : ListMaildirFolders(root))
        if (folder.name == name)
            return open(folder.path);
    throw AppError(QStringLiteral("The Maildir folder %1 has no folder named \"%2\".")
                       .arg(QDir::toNativeSeparators(root), name));
}

bool MaildirSource::scanStep()
{
    qint64 bytes = 0;
    int files = 0;
    while (m_next < m_files.size() && bytes < kStepBytes && files < kStepFiles) {
        const QString relative = m_files.at(m_next++);
        ++files;
        LocalMessageEntry entry;
        entry.kind = LocalMessageEntry::Kind::Maildir;
        entry.sourcePath = m_path;
        entry.filePath = m_path + QLatin1Char('/') + relative;
        entry.position = int(m_messages.size()) + 1;
        QFile file(entry.filePath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            // Expunged by its mail program since the folder was listed: no longer a message.
            if (!QFileInfo::exists(entry.filePath))
                continue;
            entry.problem = local::OpenFailure(local::NamedMessageFile(entry.filePath), entry.filePath, file).description() +
                            QStringLiteral(" (%1)").arg(local::DescribeMessage(entry));
            m_messages.append(entry);
            continue;
        }
        entry.arrival = file.fileTime(QFileDevice::FileModificationTime).toUTC();
        SliceCheck check;
        const qint64 size = file.size();
        // Over the bound the message is never read, so it needs no check.
        if (size <= imap::kLargestLiteral) {
            for (;;) {
                m_chunk.resize(kChunk);
                const qint64 got = file.read(m_chunk.data(), kChunk);
                if (got <= 0)
                    break;
                check.add(m_chunk.constData(), got);
            }
            if (file.error() != QFileDevice::NoError)
                entry.problem = AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read (%2)")
                                                                  .arg(local::DescribeMessage(entry), file.errorString()))
                                    .description();
            entry.size = check.length();
        } else {
            entry.size = size;
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

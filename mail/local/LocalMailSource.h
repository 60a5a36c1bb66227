#pragma once

#include "mail/local/LocalMessageEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace larkspan {

// Mail that is already on the disk, read in place: an mbox file (MboxSource), a Maildir
// folder (MaildirSource) or a list of .eml files (EmlFilesSource).
//
// Opening checks what makes the whole source unreadable and raises AppError naming the
// path and the cause. Then the caller scans in steps, yielding to the event loop
// between them, until scanStep() says the scan is done; scanDone() of scanTotal() is
// its progress. The scan never holds the file: it streams through it in chunks and
// keeps only each message's place (LocalMessageEntry). After it, messages() holds
// every message, and the caller reads them one by one ("Reading mail n of m" with
// m = messages().size()) through ReadLocalMessage().
//
//     auto source = MboxSource::open(path);
//     while (source->scanStep()) YieldToEventLoop();
//     for (const LocalMessageEntry &entry : source->messages()) show(ReadLocalMessage(entry));
//
// A fault of one message (an mbox cut short inside its last message, an .eml that
// is no message) does not stop the scan: the message is listed with its problem, and
// reading it raises the error at its place, after the rows before it.
class LocalMailSource {
public:
    virtual ~LocalMailSource() = default;
    LocalMailSource(const LocalMailSource &) = delete;
    LocalMailSource &operator=(const LocalMailSource &) = delete;

    // The mbox file, the Maildir folder, or the first of the .eml files.
    QString path() const { return m_path; }

    // Scans on for a bounded piece of work (about 8 MB of an mbox file, or up to 8 MB
    // or 256 files of a Maildir or a list of .eml files) and adds the messages it
    // finished to messages(). False once the whole source is scanned.
    // Raises AppError when the source itself fails (a read error of the mbox file).
    virtual bool scanStep() = 0;
    void scanAll();
    bool scanFinished() const { return m_finished; }
    // How far the scan is, in units of scanTotal(): bytes of an mbox file, files of a
    // Maildir or a list.
    qint64 scanDone() const { return m_done; }
    qint64 scanTotal() const { return m_total; }

    // The messages found so far, in the source's order, positions 1, 2, 3...
    // Final once the scan has finished: an mbox file's quoting is decided by the whole file.
    const QList<LocalMessageEntry> &messages() const { return m_messages; }
    // Messages the scan left out because their mail program marked them expunged, for
    // the closing message ("3 deleted messages still in the file were left out").
    int expungedLeftOut() const { return m_expunged; }

protected:
    explicit LocalMailSource(const QString &path) : m_path(path) {}

    QString m_path;
    QList<LocalMessageEntry> m_messages;
    int m_expunged = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
    bool m_finished = false;
};

// The source that paths name: one folder is a Maildir (its INBOX), files that all end
// in ".eml" are .eml files, one other file is an mbox file. Raises AppError as the
// source's own open does, or when paths mix kinds or are empty.
std::unique_ptr<LocalMailSource> OpenLocalMailSource(const QStringList &paths);

} // namespace larkspan

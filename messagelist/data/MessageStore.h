#pragma once

#include "mail/MailAttachment.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <deque>
#include <memory>

namespace larkspan {

// Where one listed message lies in the store: the store's generation when it was
// written, its place and size, and a check of its octets.
struct StoredMessage {
    quint32 generation = 0; // 0: not in the store
    qint64 offset = 0;
    qint64 size = 0;
    // A 64-bit hash of the octets under a key of this run, compared on every read: a
    // changed or shortened copy is caught as surely as with a digest, at a tenth of a
    // SHA-256's cost (the SHA-256 the export report shows is worked out when asked).
    quint64 check = 0;

    bool isStored() const { return generation != 0; }
};

// What the preview and the export show of a message beyond its list texts: the two
// bodies, the recipients and the attachments (described, without their contents).
struct MessageBodies {
    QString plainText;
    QString html; // inline pictures as data: URLs
    QString to;
    QString cc;
    QString messageId;
    MailAttachments attachments;
};

// The raw octets of every listed message, exactly as the server sent them, in one
// private file per program run under $XDG_CACHE_HOME/larkspan/ (folder 0700, file
// 0600), written sequentially. Records keep only their list texts and where their
// message lies; the bodies are read back and parsed when the preview or the export
// needs them. The file is emptied when the list is cleared, deleted when the program
// ends, and removed at the next start when a run that died left it behind: a running
// program holds a lock on its own file, and a file nobody holds is a leftover.
class MessageStore {
public:
    static MessageStore &instance();
    ~MessageStore();
    MessageStore(const MessageStore &) = delete;
    MessageStore &operator=(const MessageStore &) = delete;

    // $XDG_CACHE_HOME/larkspan (default ~/.cache/larkspan).
    static QString folder();
    // Removes the stores of runs that no longer run; how many it removed.
    static int sweepLeftovers();

    // Appends one message. Small messages wait in memory and go to the file together
    // (a write per message was most of what listing into the window cost beyond the
    // session's own work). Raises AppError naming the cause when the store cannot
    // take the message (a full or unwritable cache); nothing of it is stored then,
    // and the messages before it stay readable, from memory if the file refused them.
    StoredMessage append(const QByteArray &raw);
    // Writes out the messages still waiting in memory. Raises AppError as append does;
    // they stay readable from memory then.
    void flush();
    // The message's octets. Raises AppError when the store no longer holds it (the
    // list was cleared since) or its octets are not the ones written.
    QByteArray read(const StoredMessage &where);
    // The bodies, parsed from the stored message; the last few are kept ready for
    // stepping back and forth in the preview.
    MessageBodies bodies(const StoredMessage &where);

    // Forgets every message: the file is emptied, earlier places become invalid.
    void dropAll();
    // Deletes the file (the program's end); a later append starts a new one.
    void remove();

    QString filePath() const;
    qint64 bytesStored() const { return m_written + m_held.size(); }

private:
    MessageStore();
    void open();
    // Every message's place, held bytes and all, as for an empty file.
    void forgetPlaces();

    // Writes bytes at the end of what the file holds, or takes them back and raises.
    void writeAtEnd(const QByteArray &bytes);

    std::unique_ptr<QFile> m_file;
    quint32 m_generation = 1;
    qint64 m_written = 0; // in the file
    qint64 m_released = 0; // the part of the file the page cache was told to let go of
    QByteArray m_held;    // the messages after m_written, not yet in the file
    size_t m_key;         // of the checks

    struct CachedBodies {
        quint32 generation;
        qint64 offset;
        MessageBodies bodies;
    };
    std::deque<CachedBodies> m_cache;
};

} // namespace larkspan

#pragma once

#include "mail/local/MboxHeaderFacts.h"
#include "mail/local/SliceCheck.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

class QFile;

namespace larkspan::mbox {

// Finds the messages of an mbox file by streaming through it in chunks, so that a file
// of any size is scanned in a few megabytes of memory. A message starts after a From_
// line and ends before the next From_ line, without the blank line that parts the two
// (the writer added it); at the end of the file likewise. A Content-Length field is
// followed where it is consistent (its end meets the end of the file or a From_ line,
// after at most a blank line), so a body with unquoted "From " lines (mboxcl2) stays
// whole; otherwise the next From_ line ends the message. LF and CRLF files alike.
//
// The scan also takes each message's SliceCheck, reads the header facts it needs
// (MboxHeaderFacts), and watches for the ">>From " lines that show an mboxrd writer.
class MboxScanner {
public:
    struct Message {
        qint64 start = 0; // the first octet after the From_ line
        qint64 size = 0;
        quint64 check = 0;
        QDateTime arrival; // the From_ line's date
        bool expunged = false;
        // The file ends inside the message: it ends in the middle of a line, inside the
        // header block, before the end its Content-Length gives, or before the closing
        // delimiter of its multipart body.
        bool cutShort = false;
    };

    // file: open for reading, its first line a From_ line; size: its size when opened.
    // chunk: how much is read at a time (small ones let tests put every boundary across chunks).
    MboxScanner(QFile &file, qint64 size, qint64 chunk = 4 * 1024 * 1024);

    // Reads on for about budget octets and appends the messages it finished. False
    // once the end of the file is reached. Raises AppError when the file cannot be read.
    bool step(qint64 budget, QList<Message> &finished);

    // Octets of the file scanned so far.
    qint64 scanned() const { return m_pos; }
    qint64 size() const { return m_size; }
    // A line of two or more '>' before "From " was seen outside the header blocks.
    bool sawMboxrdQuoting() const { return m_mboxrd; }

private:
    enum class State { FromLine, Headers, Body, Counted, Done };
    enum class LineResult { Found, NeedMore, TooLong, AtEnd };

    bool more();
    LineResult line(qint64 at, qsizetype longest, qint64 &end);
    const char *at(qint64 offset) const { return m_buffer.constData() + (offset - m_bufferStart); }
    char byteAt(qint64 offset) const { return *at(offset); }
    qint64 bufferEnd() const { return m_bufferStart + m_buffer.size(); }
    QByteArrayView view(qint64 from, qint64 to) const { return QByteArrayView(at(from), to - from); }
    QByteArray readAt(qint64 offset, qint64 length) const;
    // Reads up to length octets at offset into to; fewer at the end of the file.
    qint64 readInto(char *to, qint64 offset, qint64 length) const;

    void hashTo(qint64 offset);
    void startMessage(qint64 fromLineEnd, QByteArrayView fromLine);
    void endHeaders(qint64 bodyStart);
    // Gives up on the header facts: a body search goes on from from (a line end, or inside a line).
    void searchAsBody(qint64 from);
    bool countedEndIsConsistent(qint64 end, qint64 &next) const;
    qint64 withoutBlankLine(qint64 end) const;
    void finishBefore(qint64 boundary, QList<Message> &finished);
    void finishAtEnd(QList<Message> &finished);
    void finish(qint64 end, QList<Message> &finished);

    QFile &m_file;
    qint64 m_size;
    qint64 m_chunk;
    QByteArray m_buffer;
    qint64 m_bufferStart = 0;
    qint64 m_readThisStep = 0;

    State m_state = State::FromLine;
    qint64 m_pos = 0;    // the next octet to look at
    qint64 m_hashed = 0; // the current message's octets before this are in m_check
    Message m_current;
    SliceCheck m_check;
    MboxHeaderFacts m_facts;
    qint64 m_headerBytes = 0;
    bool m_headersEnded = false;
    qint64 m_bodyStart = -1;
    qint64 m_contentLength = -1; // of a header block read to its end
    qint64 m_countedEnd = 0;
    qint64 m_countedNext = 0;
    bool m_mboxrd = false;
};

} // namespace larkspan::mbox

#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace larkspan::mbox {

// What the scan of an mbox file needs from a message's header block, gathered line by
// line as the block streams past: the Content-Length, whether the mail program that
// keeps the file marked the message expunged, and the boundary of a multipart message
// (a message cut short by the end of the file lacks its closing delimiter).
//
// Expunged: Thunderbird's X-Mozilla-Status flag 0x0008. The message was deleted and
// is gone from the folder for the user; the file still holds it until the folder is
// compacted. It is left out, as the mail program leaves it out.
// Deleted but not expunged: the 'D' of X-Status (mutt, alpine and the c-client
// programs; 'T' in a Maildir file name) and X-Mozilla-Status2's 0x00200000 are IMAP's
// \Deleted flag: the mail program still shows such a message until the user expunges
// the folder, so it is listed, as a server lists a \Deleted message. "Status:" holds
// only R (read) and O (old).
class MboxHeaderFacts {
public:
    // One line of the header block without its line end; a line that starts with a
    // space or a tab continues the field before it.
    void addLine(QByteArrayView line);
    // After the block's last line.
    void finish();

    // The Content-Length field's value; -1 when there is none or it is not a number.
    qint64 contentLength() const { return m_contentLength; }
    bool expunged() const { return m_expunged; }
    // Empty unless the message is multipart with a boundary.
    QByteArray multipartBoundary() const { return m_boundary; }

private:
    void takeField();

    enum class Field { Other, ContentLength, MozillaStatus, ContentType };
    Field m_field = Field::Other;
    QByteArray m_value;
    bool m_seenContentLength = false;
    bool m_seenStatus = false;
    bool m_seenContentType = false;
    qint64 m_contentLength = -1;
    bool m_expunged = false;
    QByteArray m_boundary;
};

} // namespace larkspan::mbox

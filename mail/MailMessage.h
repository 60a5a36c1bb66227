#pragma once

#include "mail/MailAttachment.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>

namespace larkspan {

// One fetched message, read from its raw octets with GMime. All texts are decoded:
// encoded words, transfer encodings and charsets. Reading never fails: whatever part
// of a malformed message cannot be read comes back empty.
class MailMessage {
public:
    // internalDate is the server's INTERNALDATE ("17-Jul-1996 02:44:25 -0700"), used
    // when the Date header is missing or unreadable.
    // What of the attachments is read: nothing (listing), their names, types and
    // sizes, or those with their decoded contents.
    enum class Attachments { Skip, Describe, WithContents };
    static std::unique_ptr<MailMessage> fromBytes(const QByteArray &raw, const QByteArray &internalDate = {},
                                                  Attachments attachments = Attachments::Skip);

    // "Name <address>", or the address alone when the sender gave no name.
    QString fromText() const { return m_from; }
    QString senderName() const { return m_fromName; }
    QString senderAddress() const { return m_fromAddress; }
    // Encoded words decoded, folding removed.
    QString subject() const { return m_subject; }
    // Every recipient as "Name <address>" (the address alone without a name), joined
    // with ", "; members of a group are listed one by one.
    // Worked out when asked: the listing never shows them.
    QString toText() const;
    QString ccText() const;
    // "<id@host>" as the sender gave it; empty when there is none.
    QString messageId() const { return m_messageId; }
    // In the order of the message; empty when read with Attachments::Skip.
    const MailAttachments &attachments() const { return m_attachments; }
    // Days since 30 December 1899, local time; 0 when neither date could be read.
    double date() const { return m_date; }
    QString plainTextBody() const { return m_plain; }
    // The HTML alternative; inline images it references by cid: are data: URLs.
    QString htmlBody() const { return m_html; }
    qsizetype rawSize() const { return m_raw.size(); }
    // The server's UID for it; -1 when unknown.
    qint64 uid() const { return m_uid; }
    void setUid(qint64 uid) { m_uid = uid; }
    // The octets exactly as they were read.
    QByteArray raw() const { return m_raw; }

    // INTERNALDATE text to a date-time; invalid when unreadable.
    static QDateTime parseInternalDate(const QByteArray &text);

private:
    MailMessage() = default;
    QString m_from, m_fromName, m_fromAddress, m_subject, m_plain, m_html, m_messageId;
    QByteArray m_toHeader, m_ccHeader; // as sent
    MailAttachments m_attachments;
    double m_date = 0;
    qint64 m_uid = -1;
    QByteArray m_raw;

    friend struct MessageReader;
};

} // namespace larkspan

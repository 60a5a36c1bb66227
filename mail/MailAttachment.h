#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace larkspan {

// One attachment of a message: a part with disposition attachment, any part that is
// neither a body text nor an inline picture the HTML shows, or an attached message.
struct MailAttachment {
    // Decoded (RFC 2231 and RFC 2047) and safe to use as a file name: no folders, no
    // control characters. "attachment-N.ext" when the sender gave none.
    QString fileName;
    QString mimeType; // lower case, "type/subtype"
    QByteArray charset; // the charset its Content-Type declares; empty when none
    qint64 size = 0;  // decoded octets
    QByteArray content; // decoded; only when the message was read with its attachments' contents
};

using MailAttachments = QList<MailAttachment>;

namespace mime {

// The name a sender gave, made safe for a file: only its last path component, control
// characters removed, white space at the ends trimmed. Empty when nothing is left.
QString SafeFileName(const QString &given);

// "attachment-<n>" with the usual extension of the media type ("bin" when none is known).
QString FallbackAttachmentName(int n, const QString &mimeType);

// Renames later duplicates within the list, "name (2).ext", so that every name is one file.
void MakeNamesUnique(MailAttachments &attachments, const QStringList &taken = {});

} // namespace mime
} // namespace larkspan

#pragma once

#include "mail/local/LocalMailSource.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace larkspan {

// A Maildir folder read in place: the message files in its cur/ and new/ folders (tmp/
// holds deliveries still being written and is left alone; names starting with '.'
// are not messages). Opening lists both folders; the scan then reads each file once
// to take its check.
//
// Order (positions): by delivery time, then name, as maildir::DeliveredBefore says; a
// file keeps its place when its mail program moves it from new/ to cur/ or changes
// its flags. Nothing is left out: Maildir has no expunged messages (expunging removes
// the file), and a file whose flags hold 'T' (trashed, IMAP's \Deleted) is listed,
// as a server lists it until it is expunged.
class MaildirSource final : public LocalMailSource {
public:
    // folder must hold cur/ and new/. Raises AppError naming the folder otherwise.
    static std::unique_ptr<MaildirSource> open(const QString &folder);
    // A folder of a Maildir++ tree by the name ListMaildirFolders gives it ("INBOX",
    // "Sub", "Sub.Deeper"). Raises AppError when the tree has no folder of that name.
    static std::unique_ptr<MaildirSource> openFolder(const QString &root, const QString &name);

    bool scanStep() override;

private:
    explicit MaildirSource(const QString &folder) : LocalMailSource(folder) {}

    QStringList m_files; // "cur/<name>" and "new/<name>", in order
    qsizetype m_next = 0;
    QByteArray m_chunk;
};

} // namespace larkspan

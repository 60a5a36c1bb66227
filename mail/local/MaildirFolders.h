#pragma once

#include <QList>
#include <QString>

namespace larkspan {

// One folder of a Maildir++ tree: the name it is offered under and its directory.
struct MaildirFolder {
    QString name;
    QString path;
};

// The folders of a Maildir++ tree, as an IMAP server names them over it: "INBOX" for
// the root, then every subfolder directory ".Sub", ".Sub.Deeper" by its name without
// the leading dot, with "." between the levels ("Sub.Deeper"; the tree's own
// separator) and modified UTF-7 decoded ("Entw&APw-rfe" is "Entwürfe"). Subfolders
// are sorted by name; those without cur/ and new/ are not Maildirs and are left out.
// Raises AppError when root is not a Maildir itself.
QList<MaildirFolder> ListMaildirFolders(const QString &root);

// Raises AppError naming path when it is not a Maildir folder (missing, not a folder,
// not readable, or without cur/ and new/).
void CheckMaildirFolder(const QString &path);

} // namespace larkspan

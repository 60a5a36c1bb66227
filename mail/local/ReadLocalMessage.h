#pragma once

#include "mail/local/LocalMessageEntry.h"

#include <QByteArray>

namespace larkspan {

// One message of a local source as a standalone .eml: the octets at the entry's place,
// with an mboxrd file's From quoting undone. Its identity across runs, even when the
// file has grown or been compacted since, is the SHA-256 of these octets.
//
// Raises AppError naming the message and its file, with the cause:
// - the problem the scan found in it (an mbox cut short inside it, an .eml that is not
//   a message, a file that cannot be read);
// - a message over 512 MB, the bound a server's message has too; refused before any of
//   it is read;
// - the file missing, or not readable by this user;
// - the file changed since the scan: it no longer reaches to the message's end, or the
//   octets at its place are not the ones the scan checked.
// A Maildir file that its mail program renamed since the scan (moved from new/ to cur/,
// or given other flags) is found under its new name.
QByteArray ReadLocalMessage(const LocalMessageEntry &entry);

} // namespace larkspan

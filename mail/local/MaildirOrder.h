#pragma once

#include <QString>

// The names of Maildir message files: "<seconds>.<unique part>.<host>:2,<flags>", the
// delivery time first, then what makes the name unique, then after ':' the flags that
// the mail program rewrites (and that a file in new/ does not have yet).
namespace larkspan::maildir {

// The name without ":2,<flags>": what stays when the file moves from new/ to cur/ or
// its flags change.
QString UniquePart(const QString &fileName);

// The order of a Maildir's messages, stable while the mail program reads and marks them:
// by the delivery time (the seconds the name begins with; names without them come
// last), then by the unique part with runs of digits compared as numbers (the
// microseconds, process ids and counters delivery programs put there), then by the
// whole name. The flags and the folder (cur/ or new/) play no part.
bool DeliveredBefore(const QString &a, const QString &b);

} // namespace larkspan::maildir

#pragma once

#include <QString>

namespace larkspan {

// Asks the desktop to open the file with the user's default application. A missing
// file, or no application for it, changes nothing and shows nothing. Returns whether
// the desktop took the request.
bool OpenDocumentQuietly(const QString &path);

} // namespace larkspan

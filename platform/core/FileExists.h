#pragma once

#include <QString>

namespace larkspan {

// True when the path names something whose modification time can be read: a file or
// a folder. A missing path, an empty path or an unreadable parent gives false.
bool FileExists(const QString &path);

} // namespace larkspan

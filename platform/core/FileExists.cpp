#include "platform/core/FileExists.h"

#include <QFileInfo>

namespace larkspan {

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

} // namespace larkspan

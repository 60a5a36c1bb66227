#include "platform/widgets/OpenDocument.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace larkspan {

bool OpenDocumentQuietly(const QString &path)
{
    // Without a file the desktop's viewer would report the error in a window of its own.
    if (!QFileInfo(path).isFile())
        return false;
    // A file URL carries the path as one piece, spaces and quotes included.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace larkspan

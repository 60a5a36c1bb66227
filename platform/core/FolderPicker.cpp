#include "platform/core/FolderPicker.h"

#include "platform/core/Dialogs.h"

#include <QUrl>

namespace larkspan {

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder)
{
    QString chosen = Dialogs().browseForFolder(owner, title, initialFolder);
    if (chosen.isEmpty())
        return QString();
    // Some pickers answer with a URL; only a local folder is a usable output folder.
    if (chosen.startsWith(QStringLiteral("file:")))
        chosen = QUrl(chosen).toLocalFile();
    else if (chosen.contains(QStringLiteral("://")))
        return QString();
    while (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    return chosen;
}

} // namespace larkspan

#include "platform/core/DesktopFolder.h"

#include "platform/core/AppError.h"

#include <QStandardPaths>

namespace larkspan {

QString DesktopFolderPathFrom(const QString &location)
{
    if (location.isEmpty())
        throw AppError(ErrorCode::PathNotFound, QStringLiteral("the Desktop folder could not be found"));
    if (location.endsWith(QLatin1Char('/')))
        return location; // the root already ends in its separator
    return location + QLatin1Char('/');
}

QString DesktopFolderPath()
{
    return DesktopFolderPathFrom(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

} // namespace larkspan

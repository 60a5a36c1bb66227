#pragma once

#include <QString>

namespace larkspan {

// The user's Desktop folder followed by "/", the default output folder of the export.
// Raises AppError when the platform names no Desktop folder.
QString DesktopFolderPath();

// The same rule for a given location (empty: no Desktop folder).
QString DesktopFolderPathFrom(const QString &location);

} // namespace larkspan

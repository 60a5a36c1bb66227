#pragma once

#include <QString>

class QWidget;

namespace larkspan {

// The folder picker, opened on initialFolder (its default place when that is empty).
// Returns the chosen folder without a trailing separator, "/" for the root, or an
// empty text when the user cancels or picks something that is not a local folder.
QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder);

} // namespace larkspan

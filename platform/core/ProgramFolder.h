#pragma once

#include <QString>

namespace larkspan {

// The folder that holds the program; data files are looked up here.
QString ProgramFolder();
// ProgramFolder() + "/" + relative.
QString ProgramFile(const QString &relative);

// The temporary folder: TEMP when set, else the system's temporary folder.
QString TempFolder();

} // namespace larkspan

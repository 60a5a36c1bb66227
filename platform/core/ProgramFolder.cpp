#include "platform/core/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace larkspan {

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString ProgramFile(const QString &relative)
{
    return ProgramFolder() + QLatin1Char('/') + relative;
}

QString TempFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    return QDir::tempPath();
}

} // namespace larkspan

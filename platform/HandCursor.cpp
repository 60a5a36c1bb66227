#include "platform/HandCursor.h"

#include "platform/AppError.h"
#include "platform/FileExists.h"
#include "platform/ProgramFolder.h"
#include "platform/WindowPointer.h"

namespace larkspan {

bool LoadHandCursor(WindowPointer &pointer)
{
    const QString path = ProgramFile(QStringLiteral("HAND-M.CUR"));
    if (!FileExists(path))
        return false;
    if (!pointer.loadCustomCursor(path))
        throw AppError(QStringLiteral("Invalid picture: %1").arg(path), 481);
    return true;
}

} // namespace larkspan

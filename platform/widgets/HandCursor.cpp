#include "platform/widgets/HandCursor.h"

#include "platform/core/AppError.h"
#include "platform/core/FileExists.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/WindowPointer.h"

namespace larkspan {

bool LoadHandCursor(WindowPointer &pointer)
{
    return LoadHandCursorFile(pointer, ProgramFile(QStringLiteral("HAND-M.CUR")));
}

bool LoadHandCursorFile(WindowPointer &pointer, const QString &path)
{
    if (!FileExists(path))
        return false;
    if (!pointer.loadCustomCursor(path))
        throw AppError(ErrorCode::InvalidPicture, path);
    return true;
}

} // namespace larkspan

#include "platform/HandCursor.h"

#include "platform/AppError.h"
#include "platform/FileExists.h"
#include "platform/ProgramFolder.h"
#include "platform/WindowPointer.h"

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

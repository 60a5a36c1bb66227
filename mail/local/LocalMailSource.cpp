#include "mail/local/LocalMailSource.h"

#include "mail/local/EmlFilesSource.h"
#include "mail/local/MaildirSource.h"
#include "mail/local/MboxSource.h"
#include "platform/core/AppError.h"

#include <QFileInfo>

#include <algorithm>

namespace larkspan {

void LocalMailSource::scanAll()
{
    while (scanStep()) {
    }
}

std::unique_ptr<LocalMailSource> OpenLocalMailSource(const QStringList &paths)
{
    if (paths.isEmpty())
        throw AppError(ErrorCode::BadFileNameOrNumber, QStringLiteral("no mail file or folder was given"));
    auto isEml = [](const QString &path) { return path.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive); };
    if (std::all_of(paths.begin(), paths.end(), isEml))
        return EmlFilesSource::open(paths);
    if (paths.size() > 1)
        throw AppError(ErrorCode::BadFileNameOrNumber,
                       QStringLiteral("several files were given and not all end in .eml: open one mbox file or one "
                                      "Maildir folder at a time"));
    if (QFileInfo(paths.first()).isDir())
        return MaildirSource::open(paths.first());
    return MboxSource::open(paths.first());
}

} // namespace larkspan

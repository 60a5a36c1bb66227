#include "messagelist/data/MessageFilter.h"

#include "mail/OleDate.h"
#include "platform/core/AppError.h"
#include "platform/core/SettingsStore.h"

namespace larkspan {

bool PassesCharactersFilter(const QString &filter, const QString &From, const QString &FromName,
                            const QString &FromAddress, const QString &Subject,
                            const QString &ReceivedDate, const QString &PlainTextBody)
{
    if (filter.isEmpty())
        return true;
    return From.contains(filter) || FromName.contains(filter) || FromAddress.contains(filter) ||
           Subject.contains(filter, Qt::CaseInsensitive) || ReceivedDate.contains(filter) ||
           PlainTextBody.contains(filter);
}

QString RecDateText(const QString &ReceivedDate)
{
    const std::optional<double> days = ParseGeneralDate(ReceivedDate);
    if (!days)
        throw AppError(ErrorCode::TypeMismatch);
    return QString::number(static_cast<qint64>(RoundHalfEven(*days)));
}

} // namespace larkspan

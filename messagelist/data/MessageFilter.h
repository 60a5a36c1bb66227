#pragma once

#include <QString>

namespace larkspan {

// The character filter of a retrieval run: true when filter occurs in From, FromName,
// FromAddress, Subject, ReceivedDate or PlainTextBody. Subject is compared without
// regard to letter case, the other five exactly; the HTML body is never searched.
// An empty filter lets everything pass.
bool PassesCharactersFilter(const QString &filter, const QString &From, const QString &FromName,
                            const QString &FromAddress, const QString &Subject,
                            const QString &ReceivedDate, const QString &PlainTextBody);

// The hidden "RecDate" cell of a row: the received-date text read back as a date,
// as days since 30 December 1899, rounded to a whole day (halves to even), in
// decimal. A text that is no date raises AppError "Type mismatch".
QString RecDateText(const QString &ReceivedDate);

} // namespace larkspan

#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace larkspan {

// Date-time values as the program passes them around: days since 30 December 1899
// (local time), the time of day as the fraction. Before that day the whole part is
// negative while the fraction still counts forward from midnight (-1.25 is
// 29 December 1899, 06:00).
double ToOleDate(const QDateTime &local);
QDateTime FromOleDate(double value);

// The "general date" text: short date, a space, then the time with seconds. The time
// is left out at exactly midnight, the date is left out on day 0 (30 December 1899).
// Both follow the current locale (QLocale()), except that the year always has four
// digits and the time always has seconds, so the text parses back to the same value.
QString OleDateToGeneralText(double value);

// Reads a text made by OleDateToGeneralText in the same locale: date and time, date
// alone (midnight) or time alone (day 0). Nothing when the text is none of these.
std::optional<double> ParseGeneralDate(const QString &text);

} // namespace larkspan

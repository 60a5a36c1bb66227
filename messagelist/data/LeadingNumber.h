#pragma once

#include <QString>

namespace larkspan {

// The number a text starts with: blanks before it are skipped, then an optional
// sign, digits with an optional decimal point and an optional exponent; reading
// stops at the first character that cannot continue the number. Text that does not
// start with a number reads as 0 ("12abc" is 12, "abc" and "" are 0, "2.5" is 2.5).
double LeadingNumber(const QString &text);

} // namespace larkspan

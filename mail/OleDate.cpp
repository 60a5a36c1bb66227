#include "mail/OleDate.h"

#include <QLocale>
#include <QTimeZone>

#include <cmath>

namespace larkspan {

namespace {

constexpr double kMsecsPerDay = 86400000.0;

QDate OleEpoch()
{
    return QDate(1899, 12, 30);
}

// The locale's short date with the year widened to four digits: a two-digit year
// would read back into the wrong century.
QString DateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// The locale's long time format without the time zone: it has the seconds, and a
// zone name would not parse back.
QString TimeFormat()
{
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

// The last text made by OleDateToGeneralText and the value it reads back into. A
// listing makes each message's date text and then reads it back at once for the
// list's sort column; reading through the locale's formats and the time zone costs
// more than the rest of listing that message.
struct LastGeneralText {
    QString text;
    double value = 0;
    QString localeName;
};

LastGeneralText &LastMade()
{
    static LastGeneralText last;
    return last;
}

} // namespace

double ToOleDate(const QDateTime &local)
{
    const QDateTime value = local.toLocalTime();
    const qint64 days = OleEpoch().daysTo(value.date());
    const double fraction = value.time().msecsSinceStartOfDay() / kMsecsPerDay;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime FromOleDate(double value)
{
    if (!std::isfinite(value))
        return {};
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    qint64 msecs = qint64(std::llround(fraction * kMsecsPerDay));
    qint64 days = qint64(whole);
    if (msecs >= qint64(kMsecsPerDay)) {
        msecs -= qint64(kMsecsPerDay);
        days += value >= 0 ? 1 : -1;
    }
    return QDateTime(OleEpoch().addDays(days), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

QString OleDateToGeneralText(double value)
{
    const QDateTime moment = FromOleDate(value);
    if (!moment.isValid())
        return QString();
    // Shown to the second, like the value it reads back into.
    const QTime time = QTime::fromMSecsSinceStartOfDay((moment.time().msecsSinceStartOfDay() / 1000) * 1000);
    const QLocale locale;
    const bool dayZero = moment.date() == OleEpoch();
    const bool midnight = time == QTime(0, 0);
    QString text;
    if (dayZero)
        text = locale.toString(time, TimeFormat());
    else if (midnight)
        text = locale.toString(moment.date(), DateFormat());
    else
        text = locale.toString(moment.date(), DateFormat()) + QLatin1Char(' ') + locale.toString(time, TimeFormat());
    // What ParseGeneralDate reads this text back into: the shown day and second.
    const qint64 days = dayZero ? 0 : OleEpoch().daysTo(moment.date());
    const double fraction = time.msecsSinceStartOfDay() / kMsecsPerDay;
    LastMade() = {text, days >= 0 ? double(days) + fraction : double(days) - fraction, locale.name()};
    return text;
}

std::optional<double> ParseGeneralDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QLocale locale;
    if (const LastGeneralText &last = LastMade(); trimmed == last.text && locale.name() == last.localeName)
        return last.value;
    const QDateTime both = locale.toDateTime(trimmed, DateFormat() + QLatin1Char(' ') + TimeFormat());
    if (both.isValid())
        return ToOleDate(both);
    const QDate date = locale.toDate(trimmed, DateFormat());
    if (date.isValid())
        return ToOleDate(QDateTime(date, QTime(0, 0)));
    const QTime time = locale.toTime(trimmed, TimeFormat());
    if (time.isValid())
        return time.msecsSinceStartOfDay() / kMsecsPerDay;
    return std::nullopt;
}

} // namespace larkspan

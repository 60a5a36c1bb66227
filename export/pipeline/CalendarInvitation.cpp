#include "export/pipeline/CalendarInvitation.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <libical/ical.h>

#include <memory>

namespace larkspan {

namespace {

struct ComponentFree {
    void operator()(icalcomponent *component) const { icalcomponent_free(component); }
};

QString Text(const char *text)
{
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

// A calendar address as people write it: "Name <address>", or the address alone.
QString Person(icalproperty *property, const char *value)
{
    QString address = Text(value);
    if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        address = address.mid(7);
    QString name;
    if (icalparameter *cn = icalproperty_get_first_parameter(property, ICAL_CN_PARAMETER))
        name = Text(icalparameter_get_cn(cn));
    if (name.isEmpty())
        return address;
    return address.isEmpty() ? name : name + QStringLiteral(" <") + address + QLatin1Char('>');
}

// "Tuesday, 15 December 2026, 14:00 (Europe/Berlin)"; a whole day without its time.
QString When(icalproperty *property, const icaltimetype &time)
{
    if (icaltime_is_null_time(time))
        return QString();
    const QDate date(time.year, time.month, time.day);
    QString text = QLocale::c().toString(date, QStringLiteral("dddd, d MMMM yyyy"));
    if (icaltime_is_date(time))
        return text;
    text += QStringLiteral(", ") + QTime(time.hour, time.minute, time.second).toString(QStringLiteral("HH:mm"));
    QString zone;
    if (icaltime_is_utc(time))
        zone = QStringLiteral("UTC");
    else if (icalparameter *tzid = property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr)
        zone = Text(icalparameter_get_tzid(tzid));
    else
        zone = QStringLiteral("local time");
    return text + QStringLiteral(" (") + zone + QLatin1Char(')');
}

CalendarEvent EventOf(icalcomponent *event)
{
    CalendarEvent out;
    out.title = Text(icalcomponent_get_summary(event));
    out.place = Text(icalcomponent_get_location(event));
    out.description = Text(icalcomponent_get_description(event));
    icalproperty *start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    out.start = When(start, icalcomponent_get_dtstart(event));
    icalproperty *end = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    // Without DTEND the end comes from DURATION, in the start's zone.
    out.end = When(end ? end : start, icalcomponent_get_dtend(event));
    if (icalproperty *organiser = icalcomponent_get_first_property(event, ICAL_ORGANIZER_PROPERTY))
        out.organiser = Person(organiser, icalproperty_get_organizer(organiser));
    for (icalproperty *attendee = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); attendee;
         attendee = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY))
        out.attendees << Person(attendee, icalproperty_get_attendee(attendee));
    return out;
}

} // namespace

CalendarInvitation ReadCalendarInvitation(const QByteArray &ics)
{
    CalendarInvitation out;
    // libical reads a C string: text with a NUL in it is no calendar anyway.
    if (ics.contains('\0') || !ics.trimmed().startsWith("BEGIN:VCALENDAR")) {
        out.problem = QStringLiteral("the file is not an iCalendar calendar");
        return out;
    }
    icalerror_set_errors_are_fatal(0);
    std::unique_ptr<icalcomponent, ComponentFree> calendar(icalcomponent_new_from_string(ics.constData()));
    if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT) {
        out.problem = QStringLiteral("the file is not an iCalendar calendar");
        return out;
    }
    for (icalcomponent *event = icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar.get(), ICAL_VEVENT_COMPONENT))
        out.events << EventOf(event);
    if (out.events.isEmpty())
        out.problem = QStringLiteral("the calendar holds no event");
    return out;
}

} // namespace larkspan

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace larkspan {

// One event of a calendar file, as a person reads it.
struct CalendarEvent {
    QString title;
    QString start; // "Tuesday, 15 December 2026, 14:00 (Europe/Berlin)"
    QString end;
    QString place;
    QString organiser;
    QStringList attendees;
    QString description;
};

// The events of an iCalendar file (an invitation, say), read with libical. problem says
// why there are none: the file is not iCalendar, or holds no event.
struct CalendarInvitation {
    QList<CalendarEvent> events;
    QString problem;
};

CalendarInvitation ReadCalendarInvitation(const QByteArray &ics);

} // namespace larkspan

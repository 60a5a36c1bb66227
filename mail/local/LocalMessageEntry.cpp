#include "mail/local/LocalMessageEntry.h"

#include <QLocale>

namespace larkspan {

QByteArray LocalMessageEntry::arrivalAsInternalDate() const
{
    if (!arrival.isValid())
        return {};
    // English month names whatever the user's locale: the form is IMAP's.
    return QLocale::c().toString(arrival.toUTC(), QStringLiteral("dd-MMM-yyyy HH:mm:ss")).toLatin1() + " +0000";
}

} // namespace larkspan

#include "platform/core/CollapseBackslashes.h"

namespace larkspan {

namespace {
QString collapsePairs(QString text)
{
    // QString::replace scans once from the left and does not look at its own output.
    return text.replace(QStringLiteral("//"), QStringLiteral("/"));
}
} // namespace

QString CollapseBackslashes(const QString &path)
{
    const QChar separator = QLatin1Char('/');
    if (!path.startsWith(separator))
        return collapsePairs(path);

    qsizetype first = 0;
    while (first < path.size() && path.at(first) == separator)
        ++first;
    if (first == path.size())
        return QString(separator);
    const QString lead = first == 1 ? QStringLiteral("/") : QStringLiteral("//");
    return lead + collapsePairs(path.mid(first));
}

} // namespace larkspan

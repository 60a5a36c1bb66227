#include "support/WireLog.h"

#include <QLoggingCategory>

namespace larkspan::test {

namespace {

QStringList &Logged()
{
    static QStringList lines;
    return lines;
}

QtMessageHandler &PreviousHandler()
{
    static QtMessageHandler previous = nullptr;
    return previous;
}

} // namespace

WireLog::WireLog()
{
    Logged().clear();
    QLoggingCategory::setFilterRules(QStringLiteral("larkspan.*.debug=true"));
    PreviousHandler() = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
        Logged().append(text);
    });
}

WireLog::~WireLog()
{
    qInstallMessageHandler(PreviousHandler());
    QLoggingCategory::setFilterRules(QString());
}

QStringList WireLog::lines() const
{
    return Logged();
}

QStringList WireLog::clientLines() const
{
    QStringList out;
    for (const QString &line : Logged()) {
        if (line.startsWith(QLatin1String("C: ")))
            out.append(line.mid(3));
    }
    return out;
}

} // namespace larkspan::test

#include "platform/core/ErrorReport.h"

#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"

namespace larkspan {

QString ErrorReportText(const QString &description, const QString &object,
                        const QString &procedure, int line)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in Ostrevan2021/08/31.") + object
        + QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ")
        + QString::number(line) + QStringLiteral("\r\r")
        + QStringLiteral("Please take a screenshot of this message and send it to %1 so that we can fix the problem.")
              .arg(QLatin1String(kSupportAddress));
}

void ShowErrorReport(const QString &description, const QString &object,
                     const QString &procedure, int line)
{
    Dialogs().messageBox(nullptr, ErrorReportText(description, object, procedure, line),
                         QStringLiteral("Application Error"), MsgButtons::Ok, MsgIcon::Warning);
}

QString DescribeException(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const AppError &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QStringLiteral("Unexpected error");
}

void ErrorTrap::report(int line, std::exception_ptr error) noexcept
{
    ++m_failures;
    try {
        m_lastError = DescribeException(error);
        ShowErrorReport(m_lastError, m_object, m_procedure, line - m_firstLine);
    } catch (...) {
        // The report itself must never take the program down.
    }
}

} // namespace larkspan

#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace larkspan {

inline constexpr const char *kSupportAddress = "support@vornhelm.example";

// The text of the "Application Error" box: description, CR LF,
// "in Ostrevan2021/08/31.<Object>.<Procedure> ", "at line <n>", CR CR, closing line.
QString ErrorReportText(const QString &description, const QString &object,
                        const QString &procedure, int line);

// Shows the "Application Error" box (warning icon, OK) through the dialogs service.
void ShowErrorReport(const QString &description, const QString &object,
                     const QString &procedure, int line);

// Text of any exception, for the report.
QString DescribeException(std::exception_ptr error);

// The error trap of one procedure. Each step runs guarded: a failure shows the
// error report and the procedure goes on with its next step, so a failing row of
// a loop is reported and the loop continues with the next row.
//
//     ErrorTrap trap("Form1", "Form_Load", __LINE__);
//     trap.step(__LINE__, [&] { ... });
//
// The reported line is the step's line counted from the procedure's first line.
class ErrorTrap {
public:
    ErrorTrap(const char *object, const char *procedure, int firstLine)
        : m_object(QString::fromLatin1(object)), m_procedure(QString::fromLatin1(procedure)),
          m_firstLine(firstLine) {}

    // Returns true when the step finished without failing.
    template <typename Step>
    bool step(int line, Step &&body) noexcept
    {
        try {
            std::forward<Step>(body)();
            return true;
        } catch (...) {
            report(line, std::current_exception());
            return false;
        }
    }

    int failures() const { return m_failures; }
    // The description of the last failure reported.
    QString lastError() const { return m_lastError; }

private:
    void report(int line, std::exception_ptr error) noexcept;

    QString m_object;
    QString m_procedure;
    int m_firstLine;
    int m_failures = 0;
    QString m_lastError;
};

} // namespace larkspan

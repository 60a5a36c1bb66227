#pragma once

#include <QString>
#include <stdexcept>

namespace larkspan {

// A run-time error raised by a step; the caller's error trap reports it.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &description, int number = 0)
        : std::runtime_error(description.toStdString()), m_description(description), m_number(number) {}
    const QString &description() const { return m_description; }
    int number() const { return m_number; }

private:
    QString m_description;
    int m_number;
};

// Error numbers the program raises on purpose.
inline constexpr int kErrInvalidProcedureCall = 5;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrPathNotFound = 76;

} // namespace larkspan

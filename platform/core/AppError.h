#pragma once

#include <QString>
#include <stdexcept>

namespace larkspan {

// The run-time errors the program raises on purpose, each number with its text here
// and nowhere else.
enum class ErrorCode : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    FileAlreadyOpen = 55,
    DeviceIo = 57,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
    IndexOutOfBounds = 35600,
};

// "Object variable or With block variable not set" for ObjectNotSet, and so on.
inline QString ErrorCodeText(ErrorCode code)
{
    switch (code) {
    case ErrorCode::InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case ErrorCode::Overflow: return QStringLiteral("Overflow");
    case ErrorCode::SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case ErrorCode::TypeMismatch: return QStringLiteral("Type mismatch");
    case ErrorCode::BadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case ErrorCode::FileNotFound: return QStringLiteral("File not found");
    case ErrorCode::FileAlreadyOpen: return QStringLiteral("File already open");
    case ErrorCode::DeviceIo: return QStringLiteral("Device I/O error");
    case ErrorCode::PermissionDenied: return QStringLiteral("Permission denied");
    case ErrorCode::PathFileAccess: return QStringLiteral("Path/File access error");
    case ErrorCode::PathNotFound: return QStringLiteral("Path not found");
    case ErrorCode::ObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case ErrorCode::InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case ErrorCode::InvalidPicture: return QStringLiteral("Invalid picture");
    case ErrorCode::IndexOutOfBounds: return QStringLiteral("Index out of bounds");
    }
    return QString();
}

// A run-time error raised by a step; the caller's error trap reports it.
class AppError : public std::runtime_error {
public:
    // Number 0: a failure the program did not name (a lost connection, say).
    explicit AppError(const QString &description, int number = 0)
        : std::runtime_error(description.toStdString()), m_description(description), m_number(number) {}
    // The code's text, then ": " and the detail when there is one ("File not found: /x").
    explicit AppError(ErrorCode code, const QString &detail = QString())
        : AppError(detail.isEmpty() ? ErrorCodeText(code) : ErrorCodeText(code) + QStringLiteral(": ") + detail, int(code)) {}
    const QString &description() const { return m_description; }
    int number() const { return m_number; }

private:
    QString m_description;
    int m_number;
};

} // namespace larkspan

#include "app/LarkspanApplication.h"

#include "platform/ErrorReport.h"

#include <exception>

namespace larkspan {

LarkspanApplication::LarkspanApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool LarkspanApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            QString object = QStringLiteral("Larkspan");
            if (receiver && !receiver->objectName().isEmpty())
                object = receiver->objectName();
            ShowErrorReport(DescribeException(error), object, QStringLiteral("Event"), 0);
        } catch (...) {
            // Nothing more can be done; the event counts as not handled.
        }
        return false;
    }
}

} // namespace larkspan

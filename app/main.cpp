#include "app/Form1.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QIcon>
#include <exception>

namespace {

// Every handler traps its own failures; this is the last resort for one that does
// not, so the user sees the error report instead of the program vanishing.
class LarkspanApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            const QString object = receiver && !receiver->objectName().isEmpty()
                ? receiver->objectName()
                : QStringLiteral("Larkspan");
            try {
                larkspan::ShowErrorReport(larkspan::DescribeException(std::current_exception()), object,
                                          QStringLiteral("Event"), 0);
            } catch (...) {
            }
            return false;
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    LarkspanApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Larkspan"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/larkspan/larkspan.png")));

    larkspan::Form1 form;
    // The load step's messages come before the window appears.
    form.Form_Load();
    form.show();
    return app.exec();
}

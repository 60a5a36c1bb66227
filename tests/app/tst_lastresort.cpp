// A failure that escapes a handler is reported, and the program goes on.
#include "app/LarkspanApplication.h"
#include "platform/core/AppError.h"
#include "support/WidgetTestMain.h"

#include <QEvent>
#include <QTimer>

using namespace larkspan;
using larkspan::test::Recorded;

namespace {

class Failing : public QObject {
public:
    int handled = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            ++handled;
            throw AppError(QStringLiteral("Disk full"), 61);
        }
        return QObject::event(e);
    }
};

} // namespace

class LastResortTest : public QObject {
    Q_OBJECT
private slots:
    void anEscapingFailureIsReportedAndTheLoopGoesOn()
    {
        Recorded().clear();
        Failing target;
        target.setObjectName(QStringLiteral("Form3"));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        bool later = false;
        QTimer::singleShot(0, [&] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(target.handled, 2);
        const QStringList shown = Recorded().messages();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].startsWith(QStringLiteral("Disk full\r\nin Ostrevan2021/08/31.Form3.Event at line 0\r\r")),
                 qPrintable(shown[0]));
        QCOMPARE(Recorded().calls[0].title, QStringLiteral("Application Error"));

        // A direct send reports as well and returns "not handled".
        QEvent direct(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&target, &direct));
        QCOMPARE(Recorded().messages().size(), 3);
    }
};

// The program's own application object instead of the plain one.
int main(int argc, char **argv)
{
    larkspan::test::PrepareTestEnvironment();
    LarkspanApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    larkspan::test::InstallRecordingDialogs();
    LastResortTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lastresort.moc"

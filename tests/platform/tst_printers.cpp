#include "support/WidgetTestMain.h"

#include "platform/widgets/DefaultPrinter.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"

#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTimer>

using namespace larkspan;
using larkspan::test::Recorded;

class PrintersTest : public QObject {
    Q_OBJECT

    const QString pdf = PdfWriterDeviceName();

private slots:
    void init() { Recorded().clear(); }
    void cleanup() { Printers().useSystemPrinters(); }

    void systemRegistryOffersThePdfWriter()
    {
        Printers().useSystemPrinters();
        const QStringList printers = Printers().printers();
        QVERIFY(printers.contains(pdf));
        QCOMPARE(printers.count(pdf), 1);
        QCOMPARE(Printers().defaultPrinterName(), QPrinterInfo::defaultPrinterName());

        // The switch belongs to this process: the system's own default stays as it was.
        const QString systemDefault = QPrinterInfo::defaultPrinterName();
        QVERIFY(SetDefaultPrinter(pdf, true));
        QCOMPARE(Printers().defaultPrinterName(), pdf);
        QCOMPARE(QPrinterInfo::defaultPrinterName(), systemDefault);
        QVERIFY(Recorded().calls.isEmpty());
    }

    void missingPdfPrinterShowsTheInstructionsOnce()
    {
        Printers().replacePrinters({QStringLiteral("Office Laser"), QStringLiteral("Label Printer")},
                                   QStringLiteral("Office Laser"));
        CheckPdfPrinter();
        const QStringList shown = Recorded().messages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(Recorded().calls.at(0).icon, MsgIcon::None);
        QCOMPARE(Recorded().calls.at(0).buttons, MsgButtons::Ok);

        const QString text = shown.at(0);
        QCOMPARE(text.count(pdf), 3);
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.at(0), pdf + QStringLiteral(" is not installed. Please follow these instructions:"));
        QCOMPARE(lines.at(1), QString());
        QCOMPARE(lines.at(3), QStringLiteral("2) Choose ''CPW2: (") + pdf
                                  + QStringLiteral(")'' on Select a Printer Port dialog box, click Next."));
        QCOMPARE(lines.at(5), QStringLiteral("4) Enter ") + pdf + QStringLiteral(" as Printer name, click Next -> Finish."));
        QVERIFY(!text.contains(QLatin1Char('"')));
        QCOMPARE(text.count(QLatin1Char('\r')), text.count(QLatin1Char('\n'))); // only CR LF pairs

        // The later attempt to make it the default fails silently and changes nothing.
        QVERIFY(!SetDefaultPrinter(pdf, false));
        QCOMPARE(Printers().defaultPrinterName(), QStringLiteral("Office Laser"));
        QCOMPARE(Recorded().messages().size(), 1);
    }

    void presentPdfPrinterShowsNothing()
    {
        Printers().replacePrinters({QStringLiteral("Office Laser"), pdf}, QStringLiteral("Office Laser"));
        CheckPdfPrinter();
        QVERIFY(Recorded().calls.isEmpty());
    }

    void setDefaultPrinterReportsFailureOnlyWhenAsked()
    {
        Printers().replacePrinters({QStringLiteral("Office Laser"), pdf}, QStringLiteral("Office Laser"));
        QSignalSpy changed(&Printers(), &PrinterRegistry::defaultPrinterChanged);
        QVERIFY(!SetDefaultPrinter(QStringLiteral("Nonexistent"), false));
        QVERIFY(Recorded().calls.isEmpty());
        QVERIFY(!SetDefaultPrinter(QStringLiteral("Nonexistent"), true));
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Cannot set printer.")});
        QCOMPARE(Printers().defaultPrinterName(), QStringLiteral("Office Laser"));
        QCOMPARE(changed.size(), 0);

        QVERIFY(SetDefaultPrinter(pdf, true));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), pdf);
    }

    void defaultPrinterSavedAndRestored()
    {
        Printers().replacePrinters({QStringLiteral("Office Laser"), QStringLiteral("Photo"), pdf},
                                   QStringLiteral("Photo"));
        const auto saved = RememberDefaultPrinter();
        QVERIFY(saved);
        QCOMPARE(saved->deviceName, QStringLiteral("Photo"));
        QCOMPARE(saved->position, 2);

        QVERIFY(SetDefaultPrinter(pdf, false));
        QCOMPARE(Printers().defaultPrinterName(), pdf);
        RestoreDefaultPrinter(saved);
        QCOMPARE(Printers().defaultPrinterName(), QStringLiteral("Photo"));
        QVERIFY(Recorded().calls.isEmpty());
    }

    void pdfPrinterAlreadyDefaultIsSetAgain()
    {
        Printers().replacePrinters({QStringLiteral("Office Laser"), pdf}, pdf);
        const auto saved = RememberDefaultPrinter();
        QVERIFY(saved);
        QCOMPARE(saved->deviceName, pdf);
        Printers().setDefaultPrinter(QStringLiteral("Office Laser")); // changed meanwhile
        RestoreDefaultPrinter(saved);
        QCOMPARE(Printers().defaultPrinterName(), pdf);
    }

    void laterOfTwoEqualNamesIsRemembered()
    {
        Printers().replacePrinters({QStringLiteral("Shared"), QStringLiteral("Other"), QStringLiteral("Shared"), pdf},
                                   QStringLiteral("Shared"));
        const auto saved = RememberDefaultPrinter();
        QVERIFY(saved);
        QCOMPARE(saved->position, 3);
    }

    void nothingRestoredWhenNoPrinterMatched()
    {
        // The default names a printer that is no longer in the collection.
        Printers().replacePrinters({QStringLiteral("Office Laser"), pdf}, QStringLiteral("Removed Printer"));
        const auto saved = RememberDefaultPrinter();
        QVERIFY(!saved);
        QVERIFY(SetDefaultPrinter(pdf, false));
        QSignalSpy changed(&Printers(), &PrinterRegistry::defaultPrinterChanged);
        RestoreDefaultPrinter(saved);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(Printers().defaultPrinterName(), pdf);

        // With no printers at all there is nothing to remember either.
        Printers().replacePrinters({}, QString());
        QVERIFY(!RememberDefaultPrinter());
    }

    void walkAndRestoreKeepTheWindowAlive()
    {
        Printers().replacePrinters({QStringLiteral("A"), QStringLiteral("B"), pdf}, QStringLiteral("B"));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(0);
        const auto saved = RememberDefaultPrinter();
        QVERIFY2(ticks >= 1, "the printer walk must let queued events run");
        const int afterWalk = ticks;
        RestoreDefaultPrinter(saved);
        QVERIFY2(ticks >= afterWalk + 3, "the restore step yields three times");
    }
};

LARKSPAN_TEST_MAIN(PrintersTest)
#include "tst_printers.moc"

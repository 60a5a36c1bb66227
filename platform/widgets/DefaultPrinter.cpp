#include "platform/widgets/DefaultPrinter.h"

#include "platform/core/Dialogs.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/core/Yield.h"

#include <QStringList>

namespace larkspan {

QString PdfPrinterInstructions()
{
    const QString name = PdfWriterDeviceName();
    const QStringList lines{
        name + QStringLiteral(" is not installed. Please follow these instructions:"),
        QString(),
        QStringLiteral("1) Go to Control Panel -> Printers and Faxes to add a local printer."),
        QStringLiteral("2) Choose ''CPW2: (") + name + QStringLiteral(")'' on Select a Printer Port dialog box, click Next."),
        QStringLiteral("3) Choose a Postscript printer (e.g. HP Color LaserJet PS), click Next."),
        QStringLiteral("4) Enter ") + name + QStringLiteral(" as Printer name, click Next -> Finish."),
    };
    return lines.join(QStringLiteral("\r\n"));
}

void CheckPdfPrinter()
{
    if (Printers().isInstalled(PdfWriterDeviceName()))
        return;
    MsgBox(PdfPrinterInstructions());
}

bool SetDefaultPrinter(const QString &deviceName, bool showError)
{
    bool done = false;
    try {
        done = Printers().setDefaultPrinter(deviceName);
    } catch (...) {
        done = false;
    }
    if (!done && showError)
        MsgBox(QStringLiteral("Cannot set printer."));
    return done;
}

std::optional<PrinterEntry> RememberDefaultPrinter()
{
    std::optional<PrinterEntry> saved;
    const QString current = Printers().defaultPrinterName();
    const QStringList printers = Printers().printers();
    for (qsizetype i = 0; i < printers.size(); ++i) {
        if (printers.at(i) == current)
            saved = PrinterEntry{int(i + 1), printers.at(i)}; // a later equal name wins
        YieldToEventLoop();
    }
    return saved;
}

void RestoreDefaultPrinter(const std::optional<PrinterEntry> &saved)
{
    YieldToEventLoop();
    if (saved) {
        YieldToEventLoop();
        SetDefaultPrinter(saved->deviceName, false);
    }
    YieldToEventLoop();
}

} // namespace larkspan

#pragma once

#include <QString>
#include <optional>

namespace larkspan {

// One entry of the printer collection: its 1-based position and its device name.
// The position tells apart printers that share a name.
struct PrinterEntry {
    int position = 0;
    QString deviceName;
};

// Shows the installation instructions when no printer is named like the PDF writer.
void CheckPdfPrinter();

// The instruction text CheckPdfPrinter shows.
QString PdfPrinterInstructions();

// Makes the named printer the default printer; true on success. On failure shows
// "Cannot set printer." when showError is true, else stays silent. Never raises.
bool SetDefaultPrinter(const QString &deviceName, bool showError);

// Walks the printers in collection order and returns the last one whose name equals
// the current default printer's, yielding to the event loop after each printer.
// None when no printer matches.
std::optional<PrinterEntry> RememberDefaultPrinter();

// The shutdown step: yield; when a printer was remembered, yield and make it the
// default again (silently); yield.
void RestoreDefaultPrinter(const std::optional<PrinterEntry> &saved);

} // namespace larkspan

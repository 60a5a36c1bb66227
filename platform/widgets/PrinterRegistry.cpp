#include "platform/widgets/PrinterRegistry.h"

#include "platform/web/PdfWriterName.h"

#include <QPrinterInfo>

namespace larkspan {

void PrinterRegistry::ensureLoaded() const
{
    if (m_loaded)
        return;
    // Asked once: the print system is slow to enumerate, and the program keeps its own
    // view of the default from here on.
    m_printers = QPrinterInfo::availablePrinterNames();
    m_printers.append(PdfWriterDeviceName());
    m_default = QPrinterInfo::defaultPrinterName();
    m_loaded = true;
}

QStringList PrinterRegistry::printers() const
{
    ensureLoaded();
    return m_printers;
}

bool PrinterRegistry::isInstalled(const QString &deviceName) const
{
    ensureLoaded();
    return m_printers.contains(deviceName);
}

QString PrinterRegistry::defaultPrinterName() const
{
    ensureLoaded();
    return m_default;
}

bool PrinterRegistry::setDefaultPrinter(const QString &deviceName)
{
    if (!isInstalled(deviceName))
        return false;
    if (m_default != deviceName) {
        m_default = deviceName;
        emit defaultPrinterChanged(deviceName);
    }
    return true;
}

void PrinterRegistry::replacePrinters(const QStringList &deviceNames, const QString &defaultName)
{
    m_printers = deviceNames;
    m_default = defaultName;
    m_loaded = true;
}

void PrinterRegistry::useSystemPrinters()
{
    m_loaded = false;
    m_printers.clear();
    m_default.clear();
}

PrinterRegistry &Printers()
{
    static PrinterRegistry registry;
    return registry;
}

} // namespace larkspan

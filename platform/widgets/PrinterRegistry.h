#pragma once

#include <QObject>
#include <QStringList>
#include <optional>

namespace larkspan {

// The printers this program can print to: the system's printers followed by our PDF
// writer. The default printer is this process's own: it starts at the system's
// default and changing it never touches the system-wide setting, so no other program
// is affected and nothing is left changed if this one ends abruptly.
class PrinterRegistry : public QObject {
    Q_OBJECT
public:
    // Device names in collection order; two printers may share a name.
    QStringList printers() const;
    bool isInstalled(const QString &deviceName) const;

    // The device name of the default printer; empty when there is none.
    QString defaultPrinterName() const;
    // Makes the installed printer of that name the default. False, and nothing
    // changes, when no installed printer has that name.
    bool setDefaultPrinter(const QString &deviceName);

    // Replaces the printer collection and the default printer (tests, and a machine
    // whose printers are configured elsewhere). useSystemPrinters goes back to the
    // system's printers and default.
    void replacePrinters(const QStringList &deviceNames, const QString &defaultName);
    void useSystemPrinters();

signals:
    void defaultPrinterChanged(const QString &deviceName);

private:
    void ensureLoaded() const;

    mutable bool m_loaded = false;
    mutable QStringList m_printers;
    mutable QString m_default;
};

// The program's one printer registry.
PrinterRegistry &Printers();

} // namespace larkspan

#pragma once

#include <QString>

namespace larkspan {

// The device name our PDF writer is installed under in the printer registry. The
// browser prints to the default printer; when that is this device, the page becomes
// a PDF file.
inline QString PdfWriterDeviceName()
{
    return QStringLiteral("Vornhelm PDF Writer");
}

} // namespace larkspan

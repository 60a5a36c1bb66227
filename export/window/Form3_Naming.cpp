// The PDF path of the previewed message, handed to the PDF writer.
#include "export/window/Form3.h"

#include "export/pipeline/ExportFileName.h"
#include "export/window/ExportWindowHost.h"
#include "platform/core/ErrorReport.h"

#include <QLineEdit>

namespace larkspan {

FileNameFields Form3::fileNameFields(int count) const
{
    return FileNameFields{Text1->text(), txtBackupPath->text(), m_host.account(), Now(), count};
}

QString Form3::CreatePDF_File()
{
    ErrorTrap trap("Form3", "CreatePDF_File", __LINE__);
    const ExportFileName name = MakeExportFileName(fileNameFields(CurrentIndex), Records(CurrentIndex));
    // A field that could not be worked out is reported; naming goes on without it.
    for (const AppError &failure : name.failures)
        trap.step(__LINE__, [&] { throw failure; });
    if (!name.path.isEmpty())
        HandPathToPdfWriter(name.path);
    return name.path;
}

} // namespace larkspan

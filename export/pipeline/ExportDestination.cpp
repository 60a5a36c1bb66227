#include "export/pipeline/ExportDestination.h"

namespace larkspan {

QString PdfPerMessage::pathFor(int count, const MessageRecord &record, QList<AppError> *failures)
{
    const ExportFileName name = MakeExportFileName(m_fields(count), record);
    *failures += name.failures;
    if (name.path.isEmpty())
        return QString();
    return UniqueInRun(name.path, m_taken);
}

} // namespace larkspan

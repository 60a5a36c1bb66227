#pragma once

#include "export/pipeline/ExportFileName.h"

#include <QSet>
#include <QString>
#include <functional>

namespace larkspan {

class MessageRecord;

// Where an export run's pages go. The run asks for each message's PDF path before the
// message prints, and tells the destination when the run is over.
class ExportDestination {
public:
    virtual ~ExportDestination() = default;

    // The path message count's PDF goes to; empty when no usable name comes out.
    // Fields that could not be worked out are added to failures. Messages are named in
    // their order.
    virtual QString pathFor(int count, const MessageRecord &record, QList<AppError> *failures) = 0;
    // The message with that path prints now: the PDF writer is told where it goes.
    virtual void handOff(const QString &path) { HandPathToPdfWriter(path); }

    // The run is over (cancelled or not): whatever the destination still has to write.
    // The reason in words when it could not; empty otherwise.
    virtual QString finish(bool cancelled)
    {
        Q_UNUSED(cancelled);
        return QString();
    }
};

// One PDF per message, named from the pattern; two messages of one run never share
// a file (" (2)", " (3)", ... before ".pdf").
class PdfPerMessage : public ExportDestination {
public:
    // The name's fields at the moment a message is named: the pattern and the folder
    // as they are then, the time then.
    using FieldsAtNaming = std::function<FileNameFields(int count)>;
    explicit PdfPerMessage(FieldsAtNaming fields) : m_fields(std::move(fields)) {}

    QString pathFor(int count, const MessageRecord &record, QList<AppError> *failures) override;

private:
    FieldsAtNaming m_fields;
    QSet<QString> m_taken;
};

} // namespace larkspan

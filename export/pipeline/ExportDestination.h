#pragma once

#include "export/pipeline/ExportFileName.h"

#include <QSet>
#include <QString>
#include <functional>

namespace larkspan {

class MessageRecord;
class WebPage;

// The file-name fields at the moment message count is named: the pattern and the
// folder as they are then, the time then.
using FieldsAtNaming = std::function<FileNameFields(int count)>;

// Where an export run's pages go. The run asks for each message's PDF path before the
// message prints, gives it every message that was exported, in order, and tells it
// when the run is over.
class ExportDestination {
public:
    virtual ~ExportDestination() = default;

    // The path message count's PDF goes to; empty when no usable name comes out.
    // Fields that could not be worked out are added to failures. Messages are named in
    // their order.
    virtual QString pathFor(int count, const MessageRecord &record, QList<AppError> *failures) = 0;
    // The message with that path prints now: the PDF writer is told where it goes.
    virtual void handOff(const QString &path) { HandPathToPdfWriter(path); }

    // The message's PDF is written to path.
    virtual void keep(int count, const MessageRecord &record, const QString &path)
    {
        Q_UNUSED(count);
        Q_UNUSED(record);
        Q_UNUSED(path);
    }

    // The messages' PDFs are the files the user gets; false: they are parts of one
    // file that only finish() writes.
    virtual bool deliversEachMessage() const { return true; }

    // The run is over (cancelled or not): whatever the destination still has to write,
    // with page free to render on. The reason in words when it could not; empty
    // otherwise. A long finish lets the event loop run.
    virtual QString finish(bool cancelled, WebPage *page)
    {
        Q_UNUSED(cancelled);
        Q_UNUSED(page);
        return QString();
    }
    // The run was stopped while finish() was at work: it gives up, writing nothing.
    virtual void cancelFinish() {}
    // The file finish() wrote; empty when it wrote none.
    virtual QString delivered() const { return QString(); }
    // Why finish() wrote nothing although nothing went wrong (no message to hold).
    virtual QString nothingToDeliver() const { return QString(); }
};

// One PDF per message, named from the pattern; two messages of one run never share
// a file (" (2)", " (3)", ... before ".pdf").
class PdfPerMessage : public ExportDestination {
public:
    explicit PdfPerMessage(FieldsAtNaming fields) : m_fields(std::move(fields)) {}

    QString pathFor(int count, const MessageRecord &record, QList<AppError> *failures) override;

private:
    FieldsAtNaming m_fields;
    QSet<QString> m_taken;
};

} // namespace larkspan

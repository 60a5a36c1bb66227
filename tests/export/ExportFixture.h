#pragma once

// Shared set-up of the export tests: a small main window with a message list, the
// records behind it, and helpers to read PDFs back.

#include "support/PdfReading.h"
#include "export/window/Form3.h"
#include "mail/OleDate.h"
#include "messagelist/windows/ListCounters.h"
#include "app/MainWindowContext.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/widgets/WindowPointer.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QWidget>
#include <memory>

namespace larkspan::test {

inline MessageRecord MakeRecord(const QString &subject, const QString &plain = QString(),
                                const QString &html = QString(), const QString &name = QStringLiteral("Ada Example"))
{
    return MessageRecord(name + QStringLiteral(" <ada@example.org>"), name, QStringLiteral("ada@example.org"), subject,
                         OleDateToGeneralText(ToOleDate(QDateTime(QDate(2026, 12, 1), QTime(9, 30)))), plain, html);
}

// A stand-in main window with the controls the export workflows read.
struct MainWindowFixture {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    MainWindowContext ctx;
    std::unique_ptr<ListCounters> counters;
    int quitCalls = 0;

    MainWindowFixture()
    {
        ctx.window = window.get();
        ctx.Text1 = new QLineEdit(QStringLiteral("me@example.org"), window.get());
        ctx.ListView1 = new ListView(window.get());
        ctx.Label1 = new QLabel(window.get());
        ctx.Label2 = new QLabel(window.get());
        counters = std::make_unique<ListCounters>(ctx.ListView1, ctx.Label1, ctx.Label2);
        ctx.counters = counters.get();
        ctx.Option1 = new QRadioButton(QStringLiteral("Export email as it appears in browser (with images)"), window.get());
        ctx.Option2 = new QRadioButton(QStringLiteral("Export as text-only PDF"), window.get());
        ctx.Option1->setChecked(true);
        ctx.pointer = new WindowPointer(window.get());
        ctx.endProgram = [this] { ++quitCalls; };
    }

    // Rows and records in step; ticks as given.
    void fill(const QList<MessageRecord> &records, const QList<bool> &ticks)
    {
        Messages.redim(0);
        ctx.ListView1->clearItems();
        for (int i = 0; i < records.size(); ++i) {
            Messages.append(records[i]);
            const int row = ctx.ListView1->append(records[i].from());
            ctx.ListView1->setSubItem(row, 3, records[i].subject());
            ctx.ListView1->setChecked(row, ticks.value(i));
        }
    }
};

// The records as the export window's own, bypassing the main window.
inline void GiveRecords(Form3 &form, const QList<MessageRecord> &records)
{
    form.Records.redim(0);
    for (const MessageRecord &record : records)
        form.Records.append(record);
    form.RecordCount = form.Records.upperBound();
    form.CurrentIndex = 1;
}

inline void UsePdfWriterAsDefaultPrinter()
{
    Printers().setDefaultPrinter(PdfWriterDeviceName());
}

} // namespace larkspan::test

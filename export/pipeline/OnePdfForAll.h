#pragma once

#include "export/pipeline/ExportDestination.h"
#include "messagelist/data/MessageRecord.h"

#include <QList>
#include <QTemporaryDir>
#include <memory>

namespace larkspan {

// One PDF for all the messages of a run: a contents page with a line per message that
// leads to it, then every message's record exactly as its own PDF would show it, with
// an outline entry per message and every original inside. Each message is first
// printed, under the name its own PDF would have, into a private folder; the one PDF
// is put together from those when the run ends, written completely or not at all.
//
// Its name comes from the file-name pattern with the fields of the first message it
// holds, "<Count>" reading as the number of messages it holds, cleaned like every
// name; or from the name the user gives, cleaned the same way.
class OnePdfForAll : public ExportDestination {
public:
    OnePdfForAll(FieldsAtNaming fields, const QString &chosenName = QString());
    ~OnePdfForAll() override;

    QString pathFor(int count, const MessageRecord &record, QList<AppError> *failures) override;
    void keep(int count, const MessageRecord &record, const QString &path) override;
    bool deliversEachMessage() const override { return false; }
    QString finish(bool cancelled, WebPage *page) override;
    void cancelFinish() override { m_cancelled = true; }
    QString delivered() const override { return m_delivered; }
    QString nothingToDeliver() const override { return m_nothing; }

    // The contents page of the messages: their number, date, sender, subject and the
    // page each starts on, each line a link to the message (exposed for tests).
    struct Line {
        int number;
        QString date, from, subject;
        int page;
    };
    static QString ContentsHtml(const QString &title, const QList<Line> &lines);

private:
    struct Part {
        int count;
        MessageRecord record;
        QString path;
    };
    QString partsFolder();
    QString bundlePath(QString *problem) const;
    // Renders html into a PDF file with page; the reason in words when it could not.
    QString render(WebPage *page, const QString &html, const QString &pdfPath);

    FieldsAtNaming m_fields;
    QString m_chosenName;
    QSet<QString> m_taken;
    std::unique_ptr<QTemporaryDir> m_parts;
    QList<Part> m_kept;
    bool m_cancelled = false;
    QString m_delivered;
    QString m_nothing;
};

} // namespace larkspan

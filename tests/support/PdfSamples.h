#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace larkspan::test {

// Writes PDF files object by object, exactly as a test needs them, damaged or hostile
// ones included: what qpdf would repair or refuse to write (a page tree that loops)
// is written as given.
class RawPdf {
public:
    // A number for an object whose body comes later (for objects that refer to each other).
    int reserve();
    void set(int object, const QByteArray &body);
    int add(const QByteArray &body);
    int addStream(const QByteArray &dictionaryEntries, const QByteArray &data);
    // The file: header, the objects, cross-reference table and trailer.
    QByteArray finish(int root, const QByteArray &trailerEntries = QByteArray()) const;

private:
    QList<QByteArray> m_bodies;
};

// "3 0 R"
QByteArray Ref(int object);

// A content stream that writes the line in Helvetica near the top left of the page.
QByteArray TextContent(const QString &line);

// A page size and orientation.
struct SamplePage {
    double width = 612;
    double height = 792;
    int rotate = 0;
    QString text;
};

// A simple, valid PDF: one page per entry, each with its text.
QByteArray MakeSamplePdf(const QList<SamplePage> &pages);

} // namespace larkspan::test

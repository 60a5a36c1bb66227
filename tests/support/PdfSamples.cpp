#include "support/PdfSamples.h"

namespace larkspan::test {

int RawPdf::reserve()
{
    m_bodies.append(QByteArray());
    return int(m_bodies.size());
}

void RawPdf::set(int object, const QByteArray &body)
{
    m_bodies[object - 1] = body;
}

int RawPdf::add(const QByteArray &body)
{
    const int object = reserve();
    set(object, body);
    return object;
}

int RawPdf::addStream(const QByteArray &dictionaryEntries, const QByteArray &data)
{
    return add("<< " + dictionaryEntries + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data +
               "\nendstream");
}

QByteArray RawPdf::finish(int root, const QByteArray &trailerEntries) const
{
    QByteArray out = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < m_bodies.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + m_bodies[i] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(m_bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(m_bodies.size() + 1) + " /Root " + Ref(root) + " " + trailerEntries +
           " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

QByteArray Ref(int object)
{
    return QByteArray::number(object) + " 0 R";
}

QByteArray TextContent(const QString &line)
{
    QByteArray escaped = line.toLatin1();
    escaped.replace('\\', "\\\\").replace('(', "\\(").replace(')', "\\)");
    return "BT /F1 18 Tf 40 40 Td (" + escaped + ") Tj ET";
}

QByteArray MakeSamplePdf(const QList<SamplePage> &pages)
{
    RawPdf pdf;
    const int catalog = pdf.reserve();
    const int tree = pdf.reserve();
    const int font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    QByteArray kids;
    for (const SamplePage &page : pages) {
        const int content = pdf.addStream(QByteArray(), TextContent(page.text));
        kids += Ref(pdf.add("<< /Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 " + QByteArray::number(page.width) +
                            " " + QByteArray::number(page.height) + "] /Rotate " + QByteArray::number(page.rotate) +
                            " /Resources << /Font << /F1 " + Ref(font) + " >> >> /Contents " + Ref(content) + " >>")) +
                " ";
    }
    pdf.set(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages.size()) + " >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + Ref(tree) + " >>");
    return pdf.finish(catalog);
}

} // namespace larkspan::test

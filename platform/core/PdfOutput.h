#pragma once

#include "PdfQpdf.h"

#include <qpdf/Pipeline.hh>

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace larkspan::pdf {

// Where qpdf writes a document: straight into a byte array (no second copy of a
// large document in qpdf's own buffer).
class ByteArrayPipeline : public Pipeline {
public:
    explicit ByteArrayPipeline(QByteArray &out);
    void write(unsigned char const *data, size_t length) override;
    void finish() override {}

private:
    QByteArray &m_out;
};

// Into an open device, in large pieces. A piece the device does not take whole is
// remembered with the device's reason (a full disk, for one) and the rest is dropped:
// qpdf finishes pipelines in destructors, where an exception would end the program,
// so the caller asks problem() once the writer is done.
class DevicePipeline : public Pipeline {
public:
    // keepGoing, when given, is called after each piece; false ends the writing as a
    // failure with the reason "cancelled".
    explicit DevicePipeline(QIODevice &device, std::function<bool()> keepGoing = {});
    void write(unsigned char const *data, size_t length) override;
    void finish() override;
    QString problem() const { return m_problem; }

private:
    void flush();
    QIODevice &m_device;
    std::function<bool()> m_keepGoing;
    QByteArray m_pending;
    QString m_problem;
};

} // namespace larkspan::pdf

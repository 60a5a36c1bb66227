#pragma once

// What the PDF code of this folder shares about qpdf; included by its sources only,
// never by another layer (qpdf is a private dependency of the library).

// No use of qpdf's old PointerHolder here.
#ifndef POINTERHOLDER_TRANSITION
#define POINTERHOLDER_TRANSITION 4
#endif

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QString>

#include <string>

namespace larkspan::pdf {

inline std::string Utf8(const QString &text)
{
    return text.toStdString();
}

inline QString FromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

// The deepest nesting of objects that is followed (page trees, copied objects): qpdf
// copies objects by recursion, so a document nested deeper is refused rather than
// allowed to exhaust the stack.
constexpr int kMaxNesting = 1000;

} // namespace larkspan::pdf

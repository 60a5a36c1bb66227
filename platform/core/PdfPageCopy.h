#pragma once

#include "PdfQpdf.h"

#include <vector>

namespace larkspan::pdf {

// Makes the pages of a document received from outside inert before they are copied:
// every action that would run something (JavaScript, Launch, SubmitForm, ResetForm,
// ImportData, Rendition, Movie, Sound, GoToR, GoToE, Named, Hide, ...), additional
// actions (/AA) and open actions are removed wherever they are reachable from the
// pages; so are media, 3D and file-attachment annotations and the ties of form
// widgets to their fields (a widget keeps its appearance). Links that go to a web or
// mail address or to one of these pages stay. Anything else that refers to a page,
// the page tree or the catalog is cut, so that nothing beyond the pages is carried
// over. Only objects of source are changed. Throws when the objects are nested deeper
// than can be copied safely.
void RemoveActiveContent(QPDF &source, const std::vector<QPDFObjectHandle> &pages);

// Copies the pages (objects of source, their inherited attributes given to them)
// after the last page of target and returns the copies in order. Links between the
// pages keep working; links to pages not copied lose their target. Stream data is read
// from source's input when target is written: source's input must stay readable until
// then (source itself may go).
std::vector<QPDFObjectHandle> CopyPages(QPDF &target, QPDF &source, const std::vector<QPDFObjectHandle> &pages);

} // namespace larkspan::pdf

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

// The line rules of the mbox format that the reader needs: which line starts a message,
// the arrival time it carries, and the quoting of body lines that would start one.
namespace larkspan::mbox {

// A "From_" line: "From ", the envelope sender, then the delivery date with a time of
// day and a year ("From ann@example.org Thu Jan  1 12:00:00 2026", "From - Mon Mar 02
// 10:00:00 +0000 2026"). line holds no line end. A body line that merely begins with
// "From " ("From here on, ...") has no time of day and year after it.
bool IsFromLine(QByteArrayView line);

// The delivery date of a From_ line; a date without a zone is taken as UTC.
// Invalid when the line holds none that can be read.
QDateTime FromLineDate(QByteArrayView line);

// mboxrd: the writer put one more '>' before every line that began with "From " after
// any number of '>' ("From " became ">From ", ">From " became ">>From "), so taking one
// away gives the message back exactly. mboxo quoted only "From " itself, which cannot
// be undone (">From " may be the sender's own), so its lines are left as they are.
QByteArray UndoMboxrdQuoting(const QByteArray &quoted);

} // namespace larkspan::mbox

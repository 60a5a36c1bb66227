#pragma once

#include <QString>

namespace larkspan {

// Reduces doubled separators in a chosen folder path, "/" on this platform, in one
// left-to-right pass ("a///b" gives "a//b", as the pass sees pairs).
// - A path that does not begin with "/" only gets the pass: "out//x//" -> "out/x/".
// - A path made of separators only is the root: "//" (the root the picker returned,
//   plus the separator the caller appends) -> "/".
// - A path with one leading "/" keeps one: "/home/u//" -> "/home/u/".
// - Two or more leading separators name a network path and keep exactly two:
//   "////server//share" -> "//server/share".
QString CollapseBackslashes(const QString &path);

} // namespace larkspan

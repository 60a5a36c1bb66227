#pragma once

#include <QString>

namespace larkspan {

// The text RunCommandCapture returns when the command cannot be started.
inline constexpr const char *kFailedToCreateProcess = "Failed to create process, Check the path of the command line.";

// Runs a command line (program and arguments, split by the shell's quoting rules) as
// a hidden child process and returns what it writes to the chosen streams, in the
// order written. While waiting for output the event loop runs, so the window stays
// responsive and its handlers may run. Returns when the child has ended and all of
// its output was read.
// - Neither stream wanted: raises AppError "Invalid procedure call or argument" (5).
// - The command cannot be started: returns kFailedToCreateProcess.
// The output is decoded from the system's encoding; oemConvert asks for the console
// code page, which on this platform is the same, so it changes nothing here.
// commandLine comes back unchanged.
QString RunCommandCapture(QString &commandLine, bool captureStdOut, bool captureStdErr, bool oemConvert);

} // namespace larkspan

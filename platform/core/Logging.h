#pragma once

#include <QLoggingCategory>

// One logging category per layer, quiet unless QT_LOGGING_RULES turns it on, for
// example QT_LOGGING_RULES="larkspan.*.debug=true". Nothing logged here ever holds a
// password: the IMAP client masks it before a line reaches larkspan.imap.wire.
namespace larkspan {
Q_DECLARE_LOGGING_CATEGORY(lcImap)     // "larkspan.imap": connection, operations, failures
Q_DECLARE_LOGGING_CATEGORY(lcImapWire) // "larkspan.imap.wire": the conversation, line by line
Q_DECLARE_LOGGING_CATEGORY(lcMime)     // "larkspan.mime": what a message's reading could not take
Q_DECLARE_LOGGING_CATEGORY(lcExport)   // "larkspan.export": pages, PDFs, runs
Q_DECLARE_LOGGING_CATEGORY(lcUi)       // "larkspan.ui": the windows' runs and what they end in
} // namespace larkspan

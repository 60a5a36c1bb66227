#include "platform/core/Logging.h"

namespace larkspan {
// Warnings and worse show by default; debug and info only when asked for.
Q_LOGGING_CATEGORY(lcImap, "larkspan.imap", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImapWire, "larkspan.imap.wire", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMime, "larkspan.mime", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExport, "larkspan.export", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "larkspan.ui", QtWarningMsg)
} // namespace larkspan

#pragma once

#include "platform/core/Dialogs.h"

#include <memory>

namespace larkspan {

// The dialogs service that shows real Qt dialogs; the program installs it at start.
std::unique_ptr<DialogService> CreateQtDialogs();

} // namespace larkspan

#include "export/window/ExportWindowHost.h"

namespace larkspan {

ExportWindowHost::~ExportWindowHost() = default;

} // namespace larkspan

#pragma once

#include <QString>

namespace larkspan {

// The host the probe pings: LARKSPAN_PROBE_HOST when set, else a well-known public host.
QString ProbeHost();

// Pings the probe host once and warns "You must be online to use this software
// accurately." when no reply with a byte count comes back. Start-up goes on either way.
void ProbeConnectivity();

} // namespace larkspan

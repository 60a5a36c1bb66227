#pragma once

namespace larkspan {

// Makes the C library load the system's time zone rules once for the whole run.
//
// With TZ unset, glibc checks /etc/localtime on the disk before every local-time
// conversion, and every message listed converts its date and the log's time stamp:
// a tenth of the listing's processor time went to those checks. TZ=":/etc/localtime"
// names the same rules, read once. A TZ the user set is left as it is. Call it first
// thing in main, before any time is converted.
void LoadTimeZoneRulesOnce();

} // namespace larkspan

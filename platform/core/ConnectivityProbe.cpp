#include "platform/core/ConnectivityProbe.h"

#include "platform/core/CommandRunner.h"
#include "platform/core/Dialogs.h"

namespace larkspan {

QString ProbeHost()
{
    const QString host = qEnvironmentVariable("LARKSPAN_PROBE_HOST").trimmed();
    return host.isEmpty() ? QStringLiteral("example.com") : host;
}

void ProbeConnectivity()
{
    // One echo request; -W 4 waits as long for the reply as other platforms' ping does.
    QString command = QStringLiteral("ping -c 1 -W 4 \"%1\"").arg(ProbeHost());
    const QString output = RunCommandCapture(command, true, false, true);
    // A reply line reads "64 bytes from <host>: icmp_seq=1 ttl=64 time=0.05 ms".
    if (!output.contains(QStringLiteral("bytes from"), Qt::CaseInsensitive))
        MsgBox(QStringLiteral("You must be online to use this software accurately."));
}

} // namespace larkspan

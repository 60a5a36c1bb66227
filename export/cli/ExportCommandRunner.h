#pragma once

#include "export/cli/ExportCommandLine.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace larkspan {

class ExportRun;
class FolderListing;
class LocalListing;
class RecordArray;
class ProgressLine;
class WebBrowser;

// The whole unattended export of larkspan-export: the choices completed from the
// settings, the password, signing in, listing the folder, and the export run that the
// export window drives too, so that the two can never differ.
class ExportCommandRunner : public QObject {
    Q_OBJECT
public:
    explicit ExportCommandRunner(const ExportCommand &command, QObject *parent = nullptr);
    ~ExportCommandRunner() override;

    ExitStatus run();
    // SIGINT or SIGTERM: the message being exported is finished, then the run ends.
    void stop();

private:
    ExitStatus prepareOutputFolder();
    ExitStatus findPassword();
    ExitStatus runFromDisk();
    // The two pages the export prints in, made and started on a blank page before
    // signing in, so that the web engine starts while the server is asked.
    void startPrintingPages();
    // The export of what was listed, as the window's "Export All To PDF" runs it.
    ExitStatus exportRecords(const RecordArray &records);

    ExportCommand m_command;
    std::unique_ptr<ProgressLine> m_progress;
    QString m_host;
    int m_port = 0;
    QString m_user;
    QString m_password;
    QString m_folder; // output folder, ending in "/"
    bool m_stopped = false;
    QPointer<FolderListing> m_listing;
    QPointer<LocalListing> m_local;
    QPointer<ExportRun> m_run;
    std::unique_ptr<WebBrowser> m_printing[2];
};

} // namespace larkspan

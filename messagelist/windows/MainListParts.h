#pragma once

#include "messagelist/data/ListingRecorder.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace larkspan {

class ImapClient;
class LocalListing;
class clsChilkatIMAP;
class ListCounters;
class ListView;
class ProgressBar;
class WindowPointer;

// The parts of the main window that the list workflows (retrieval runs, filter, tick
// operations, larger list window) work on. The main window owns everything here and
// fills it in once when it is built.
struct MainListParts {
    QWidget *window = nullptr;

    QPushButton *PushButton1 = nullptr; // "1. Connect" / "Disconnect": tells whether signed in

    // Folder and filter
    QComboBox *Combo2 = nullptr;
    QLabel *Label3 = nullptr; // character filter label

    // Retrieval buttons
    QPushButton *PushButton3 = nullptr; // "2a. Get All Emails" / "Stop"
    QPushButton *PushButton2 = nullptr; // "2b. Get Some Emails"

    // List area
    ListView *ListView1 = nullptr;
    QLabel *Label1 = nullptr;         // "Total Number Of Emails: "
    QLabel *Label2 = nullptr;         // "Selected Emails: "
    ListCounters *counters = nullptr; // RefreshCounters, CountChecked, AccumulateChecks

    ProgressBar *ProgressBar1 = nullptr; // status line
    WindowPointer *pointer = nullptr;    // hourglass = busy

    // Main-window state
    QString CharactersFilter;
    std::shared_ptr<clsChilkatIMAP> oChilkat; // current session, or none
    ImapClient *imapComponent = nullptr;      // created once at start-up
    // Turns each message of the running retrieval run into a record.
    ListingRecorder recorder;

    // Mail on the disk opened with "Open Mail Files...": what was opened (empty while
    // the folders are a server's), and whether Combo2 offers the folders of a Maildir++
    // tree. Signing in goes back to the server's folders.
    QStringList localPaths;
    bool localTree = false;
    LocalListing *localListing = nullptr; // the run reading it, while one does
    QString closingNote;                  // said with "Done." by the run that set it

    // Gives a new session the server and the account the sign-in fields name.
    std::function<void(clsChilkatIMAP &)> signIn;
};

} // namespace larkspan

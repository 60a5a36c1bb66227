#pragma once

#include <QString>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace larkspan {

class ImapClient;
class clsChilkatIMAP;
class ListCounters;
class ListView;
class ProgressBar;
class WindowPointer;
struct MessageSource;

// The parts of the main window that the list workflows (retrieval runs, filter,
// tick operations, larger list window, export opening) work on. The main window
// owns everything here and fills this in once when it is built.
struct MainWindowContext {
    QWidget *window = nullptr;

    // Login group
    QLineEdit *Text1 = nullptr;        // user name
    QLineEdit *Text2 = nullptr;        // password
    QPushButton *PushButton1 = nullptr; // "1. Connect" / "Disconnect"

    // Folder and filter
    QComboBox *Combo2 = nullptr;
    QLabel *Label3 = nullptr;          // character filter label

    // Retrieval buttons
    QPushButton *PushButton3 = nullptr; // "2a. Get All Emails" / "Stop"
    QPushButton *PushButton2 = nullptr; // "2b. Get Some Emails"

    // List area
    ListView *ListView1 = nullptr;
    QLabel *Label1 = nullptr;          // "Total Number Of Emails: "
    QLabel *Label2 = nullptr;          // "Selected Emails: "
    ListCounters *counters = nullptr;  // RefreshCounters, CountChecked, AccumulateChecks

    // Export options
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;

    ProgressBar *ProgressBar1 = nullptr; // status line
    WindowPointer *pointer = nullptr;    // hourglass = busy

    // Main-window state
    QString CharactersFilter;
    std::shared_ptr<clsChilkatIMAP> oChilkat; // current session, or none
    ImapClient *imapComponent = nullptr;      // created once at start-up
    // Why the message store refused a message during the running retrieval run; the
    // run ends with it as with a dropped connection.
    QString StoreFailure;
    // The folder being listed and the source its records share.
    QString ListingFolder;
    std::shared_ptr<const MessageSource> ListingSource;

    // Runs the main window's query-unload step (restores the default printer) and ends
    // the program; the export window calls it when it is closed other than by "< Back".
    std::function<void()> quitApplication;
};

} // namespace larkspan

#pragma once

#include "app/MainWindowContext.h"
#include "platform/widgets/DefaultPrinter.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace larkspan {

class ErrorTrap;
class ImapClient;
class ListCounters;
class ListView;
struct MailServer;
class ProgressBar;
class SkinEngine;
class WindowPointer;

// The main window: sign-in, folder choice, the message list with its counters and
// tick operations, export options, and the status line. It is the program's start-up
// object: Form_Load prepares everything, closing it ends the program.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The controls and state the list and export workflows work on.
    MainWindowContext &context() { return m_context; }

    // Start-up sequence; runs once, before the window is shown.
    void Form_Load();
    // Gives the remembered default printer back; never cancels the closing.
    void Form_QueryUnload();
    // Ends the program at once.
    void Form_Unload();

    // What ending the program does (tests replace it, so the test run goes on).
    void setProgramEnd(std::function<void()> end) { m_programEnd = std::move(end); }

    // The printer that was the default when the program started, if any.
    const std::optional<PrinterEntry> &savedDefaultPrinter() const { return m_savedDefaultPrinter; }

    // Controls, named as the program refers to them.
    QGroupBox *Frame5;
    QLabel *lblLabels[2];
    QLineEdit *Text1;
    QLineEdit *Text2;
    QCheckBox *Check1;
    QCheckBox *Check2;
    // The server to sign in to, before connecting: host, port, "TLS" or "STARTTLS".
    QLabel *lblServer;
    QLineEdit *txtServer;
    QLabel *lblPort;
    QSpinBox *txtPort;
    QLabel *lblSecurity;
    QComboBox *cboSecurity;
    QPushButton *PushButton1;
    QPushButton *PushButton12;
    QPushButton *PushButton11;
    QGroupBox *Frame3;
    QComboBox *Combo2;
    QPushButton *PushButton18; // "Open Mail Files..."
    QGroupBox *Frame6;
    QPushButton *PushButton14;
    QPushButton *PushButton15;
    QPushButton *PushButton17;
    QLabel *Label3;
    QPushButton *PushButton3;
    QPushButton *PushButton2;
    QPushButton *PushButton8;
    ListView *ListView1;
    QLabel *Label1;
    QLabel *Label2;
    QPushButton *PushButton5;
    QPushButton *PushButton6;
    QPushButton *PushButton9;
    QPushButton *PushButton10;
    QPushButton *PushButton7;
    QGroupBox *Frame1;
    QRadioButton *Option1;
    QRadioButton *Option2;
    QPushButton *PushButton4;
    ProgressBar *ProgressBar1;
    SkinEngine *SkinFramework1;

public slots:
    // Login group
    void PushButton1_Click();
    void Check1_Click();
    void Check2_Click();
    void Combo2_Click();
    void Text1_Change();
    void Text2_Change();
    void Text1_GotFocus();
    void Text2_GotFocus();
    void ListView1_ItemCheck(int row);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildLayout();
    void connectHandlers();
    void connectWorkflows();

    // Setting a control from the program raises the handler a user's action would.
    void setCheckValue(QCheckBox *box, int value, void (Form1::*handler)());
    void setFieldText(QLineEdit *field, const QString &text);
    void setStatus(const QString &text);

    // Connection workflow, the two halves of PushButton1_Click.
    void connectBranch(ErrorTrap &trap);
    void disconnectBranch(ErrorTrap &trap);
    void disconnectedTail(ErrorTrap &trap);

    // The server fields (Form1_Server.cpp).
    void connectServerFields();
    // The server the fields name, with the environment's word above them.
    MailServer serverInFields() const;
    // Shows a server in the fields as the program's own choice, not the user's.
    void showServer(const MailServer &server);
    void serverFieldEdited();
    // The user name names a known provider and the user chose no server of their own:
    // its server goes into the fields.
    void proposeProviderServer();
    // "Yahoo! Mail" for the mail service, else the provider's name or the host.
    QString serviceName() const;
    // The service of the latest connect, else serviceName().
    QString connectedService() const;
    void nameTheService();
    void setServerFieldsEnabled(bool enabled);
    void saveServerChoice();
    void showLoginHelp();
    // The remembered password (keyring or settings file); a keyring that fails is
    // told about once a run.
    void fillRememberedLogin();
    void tellKeyringProblemOnce(const QString &problem);


    MainWindowContext m_context;
    std::unique_ptr<ListCounters> m_counters;
    WindowPointer *m_pointer = nullptr;
    ImapClient *m_imapComponent = nullptr;
    std::optional<PrinterEntry> m_savedDefaultPrinter;
    bool m_loaded = false;
    bool m_ownServer = false;
    bool m_showingServer = false;
    bool m_keyringProblemTold = false;
    // The service the status line names from a connect until the next one.
    QString m_connectedService;
    bool m_ending = false;
    std::function<void()> m_programEnd;
};

} // namespace larkspan

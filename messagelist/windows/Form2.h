#pragma once

#include <QPointer>
#include <memory>

#include <QDialog>
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace larkspan {

class clsChilkatIMAP;
class WindowPointer;

// "Get Some Emails": asks for the range of message numbers of a Get Some run. The
// properties outlive the dialog window, which exists only while it is shown; there
// is one instance for the whole program (Form2Instance).
class Form2 {
public:
    Form2() = default;
    Form2(const Form2 &) = delete;
    Form2 &operator=(const Form2 &) = delete;

    std::shared_ptr<clsChilkatIMAP> ChilkatIMAP() const { return m_chilkatIMAP; }
    void setChilkatIMAP(std::shared_ptr<clsChilkatIMAP> session) { m_chilkatIMAP = std::move(session); }
    int MaxMessage() const { return m_maxMessage; }
    void setMaxMessage(int value) { m_maxMessage = value; }

    // Loads the dialog, shows it modally over owner and unloads it when it closes.
    void Show(QWidget *owner);

    // The dialog window and its controls while it is shown, otherwise null.
    QDialog *window() const { return m_window; }
    QLabel *Label1[2] = {nullptr, nullptr};
    QLineEdit *Text1[2] = {nullptr, nullptr}; // From, To
    QPushButton *PushButton1 = nullptr;       // "Continue"
    QPushButton *Command1 = nullptr;          // below the visible area; Enter reaches it

    void PushButton1_Click();
    void Command1_Click();

private:
    void Form_Load(QWidget *owner);
    void Form_Unload();

    std::shared_ptr<clsChilkatIMAP> m_chilkatIMAP;
    int m_maxMessage = 0;
    QPointer<QDialog> m_window;
    WindowPointer *m_pointer = nullptr;
};

// The program's one count dialog.
Form2 &Form2Instance();

} // namespace larkspan

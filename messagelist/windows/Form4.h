#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace larkspan {

struct MainListParts;
class ListCounters;
class ListView;
class WindowPointer;

// " List In Larger View": a maximized, modal copy of the main list with the same tick
// tools. Its ticks go back to the main list row by row when it closes, however it
// closes. Made anew for every opening.
class Form4 : public QDialog {
    Q_OBJECT
public:
    Form4(MainListParts &main, QWidget *owner);
    ~Form4() override;

    ListView *ListView1;
    QLabel *Label1;
    QLabel *Label2;
    QPushButton *PushButton5;  // "Check All"
    QPushButton *PushButton6;  // "Uncheck All"
    QPushButton *PushButton9;  // "Check Emails Containing..."
    QPushButton *PushButton10; // "Check Emails Not Containing..."
    QPushButton *PushButton7;  // "Clear List"
    QPushButton *PushButton1;  // "Maximize This Window"
    QPushButton *PushButton4;  // "< Back"

    ListCounters &counters() { return *m_counters; }
    WindowPointer &pointer() { return *m_pointer; }

    void PushButton1_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton9_Click();
    void PushButton10_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void Form_Load();
    void Form_Resize();
    void Form_Unload();

    MainListParts &m_main;
    WindowPointer *m_pointer;
    ListCounters *m_counters = nullptr;
    bool m_unloaded = false;
    bool m_recountPending = false;
};

// Copies the main list into a new larger window, shows it maximized and modal, and
// recounts the main list once it has closed.
void OpenLargerView(MainListParts &ctx);

} // namespace larkspan

#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace larkspan {

struct MainListParts;
class WindowPointer;

// "Filter By Characters": edits the main window's character filter. Loaded anew for
// each use; however it closes, the next retrieval run ends without "Done.".
class Form5 : public QDialog {
    Q_OBJECT
public:
    Form5(MainListParts &ctx, QWidget *owner);
    ~Form5() override;

    QGroupBox *Frame1;
    QLineEdit *txtSearch;
    QPushButton *PushButton1; // "OK"
    QPushButton *PushButton2; // "Cancel"

    void PushButton1_Click();
    void PushButton2_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    MainListParts &m_ctx;
    WindowPointer *m_pointer;
    bool m_activated = false;
    bool m_unloaded = false;
};

} // namespace larkspan

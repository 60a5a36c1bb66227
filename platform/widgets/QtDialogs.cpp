#include "platform/widgets/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace larkspan {

namespace {

class QtDialogService final : public DialogService {
public:
    MsgResult messageBox(QWidget *owner, const QString &text, const QString &title,
                         MsgButtons buttons, MsgIcon icon) override
    {
        QMessageBox box(owner ? owner : QApplication::activeWindow());
        box.setText(text);
        box.setWindowTitle(title);
        switch (icon) {
        case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (buttons) {
        case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel: return MsgResult::Cancel;
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        default: return MsgResult::Ok;
        }
    }

    QString inputBox(QWidget *owner, const QString &prompt, const QString &title,
                     const QString &defaultText) override
    {
        bool ok = false;
        const QString text = QInputDialog::getText(owner ? owner : QApplication::activeWindow(), title,
                                                   prompt, QLineEdit::Normal, defaultText, &ok);
        return ok ? text : QString();
    }

    QString browseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) override
    {
        return QFileDialog::getExistingDirectory(owner ? owner : QApplication::activeWindow(), title,
                                                 initialFolder, QFileDialog::ShowDirsOnly);
    }

    QString saveFileName(QWidget *owner, const QString &title, const QString &suggestedPath) override
    {
        return QFileDialog::getSaveFileName(owner ? owner : QApplication::activeWindow(), title,
                                            suggestedPath, QStringLiteral("PDF files (*.pdf)"));
    }

    void beep() override { QApplication::beep(); }

    // Files and a folder cannot be chosen in one file dialog: the user says first
    // which of the two it is.
    QStringList chooseMailSource(QWidget *owner, const QString &title) override
    {
        QWidget *parent = owner ? owner : QApplication::activeWindow();
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(QStringLiteral("Open .eml files or an mbox file, or a Maildir folder?"));
        QPushButton *files = box.addButton(QStringLiteral("Files..."), QMessageBox::AcceptRole);
        QPushButton *folder = box.addButton(QStringLiteral("Maildir Folder..."), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(files);
        box.exec();
        if (box.clickedButton() == files)
            return QFileDialog::getOpenFileNames(parent, title, QString(),
                                                 QStringLiteral("Mail files (*.eml *.mbox *.mbx);;All files (*)"));
        if (box.clickedButton() == folder) {
            const QString chosen = QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
            return chosen.isEmpty() ? QStringList() : QStringList{chosen};
        }
        return {};
    }
};

} // namespace

std::unique_ptr<DialogService> CreateQtDialogs()
{
    return std::make_unique<QtDialogService>();
}

} // namespace larkspan

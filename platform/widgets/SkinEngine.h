#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QFileSystemWatcher;
class QWidget;

namespace larkspan {

// Puts a skin on a window. A skin file is a Qt style sheet. The engine is used in a
// fixed order: loadSkin, options with kSkinEnabled set, the two switches, applyWindow.
class SkinEngine : public QObject {
    Q_OBJECT
public:
    // Option bits. Without kSkinEnabled, applyWindow leaves the window as it is.
    static constexpr int kSkinEnabled = 1;

    explicit SkinEngine(QObject *parent = nullptr);
    ~SkinEngine() override;

    // Reads the skin file. variant names one of several skins in a file; ours hold
    // one, so it is empty. Raises AppError when the file cannot be read.
    void loadSkin(const QString &path, const QString &variant);
    QString styleSheet() const { return m_sheet; }
    QString skinPath() const { return m_path; }

    int options() const { return m_options; }
    void setOptions(int options) { m_options = options; }

    // Windows opened after applyWindow (dialogs, secondary windows, message boxes)
    // get the skin as well.
    bool applyToNewWindows() const { return m_applyToNewWindows; }
    void setApplyToNewWindows(bool on);
    // The skin file is watched and the skin put on again when it changes.
    bool reloadOnChange() const { return m_reloadOnChange; }
    void setReloadOnChange(bool on);

    // Puts the loaded skin on the window and its controls.
    void applyWindow(QWidget *window);

signals:
    void skinApplied();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString readSection(const QString &path, const QString &section) const;
    void reload();

    QString m_path;
    QString m_section;
    QString m_sheet;
    int m_options = 0;
    bool m_applyToNewWindows = false;
    bool m_reloadOnChange = false;
    bool m_filtering = false;
    QPointer<QWidget> m_window;
    QFileSystemWatcher *m_watcher = nullptr;
};

} // namespace larkspan

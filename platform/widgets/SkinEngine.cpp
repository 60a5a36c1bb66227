#include "platform/widgets/SkinEngine.h"

#include "platform/core/AppError.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QWidget>

namespace larkspan {

SkinEngine::SkinEngine(QObject *parent) : QObject(parent) {}

SkinEngine::~SkinEngine()
{
    if (m_filtering && qApp)
        qApp->removeEventFilter(this);
}

QString SkinEngine::readSection(const QString &path, const QString &section) const
{
    // Our skin files hold one variant; a named variant cannot be found in them.
    if (!section.isEmpty())
        throw AppError(ErrorCode::InvalidProcedureCall, QStringLiteral("the skin %1 has no variant \"%2\"").arg(path, section));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw AppError(ErrorCode::PathFileAccess, QStringLiteral("cannot load the skin %1 (%2)").arg(path, file.errorString()));
    return QString::fromUtf8(file.readAll());
}

void SkinEngine::loadSkin(const QString &path, const QString &variant)
{
    m_sheet = readSection(path, variant);
    m_path = path;
    m_section = variant;
    if (m_watcher)
        m_watcher->addPath(path);
}

void SkinEngine::setApplyToNewWindows(bool on)
{
    m_applyToNewWindows = on;
    if (on && !m_filtering && qApp) {
        qApp->installEventFilter(this);
        m_filtering = true;
    } else if (!on && m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
}

void SkinEngine::setReloadOnChange(bool on)
{
    m_reloadOnChange = on;
    if (on && !m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        if (!m_path.isEmpty())
            m_watcher->addPath(m_path);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { reload(); });
    } else if (!on && m_watcher) {
        delete m_watcher;
        m_watcher = nullptr;
    }
}

void SkinEngine::reload()
{
    try {
        m_sheet = readSection(m_path, m_section);
    } catch (const AppError &) {
        return; // an editor may be replacing the file; keep the skin in place
    }
    if (m_watcher && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path); // replaced files drop out of the watch
    if (m_window)
        applyWindow(m_window);
}

void SkinEngine::applyWindow(QWidget *window)
{
    if (!window || !(m_options & kSkinEnabled))
        return;
    m_window = window;
    window->setStyleSheet(m_sheet);
    emit skinApplied();
}

bool SkinEngine::eventFilter(QObject *watched, QEvent *event)
{
    // A window shown for the first time after the skin went on gets it too, unless it
    // carries a sheet of its own.
    if (event->type() == QEvent::Show && m_window && (m_options & kSkinEnabled)) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->isWindow() && widget != m_window
            && (qobject_cast<QDialog *>(widget) || qobject_cast<QMainWindow *>(widget))
            && widget->styleSheet().isEmpty() && !widget->property("larkspanSkinned").toBool()) {
            widget->setProperty("larkspanSkinned", true);
            if (!m_window->isAncestorOf(widget)) // children inherit the sheet already
                widget->setStyleSheet(m_sheet);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace larkspan

#include "platform/widgets/Appearance.h"

#include "platform/core/FileExists.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/SkinEngine.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QRadioButton>

namespace larkspan {

namespace {

void paintBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Option buttons, check boxes, frames and labels. A plain QFrame counts as a frame,
// but not the many controls that merely derive from QFrame (list views, text areas).
bool takesButtonFace(const QWidget *widget)
{
    if (qobject_cast<const QRadioButton *>(widget) || qobject_cast<const QCheckBox *>(widget)
        || qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QLabel *>(widget))
        return true;
    return widget->metaObject() == &QFrame::staticMetaObject;
}

} // namespace

QColor ButtonFaceColor()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

void ApplyClassicColors(QWidget *window)
{
    if (!window)
        return;
    const QColor face = ButtonFaceColor();
    paintBackground(window, face);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        // Widgets of windows opened over this one belong to those windows.
        if (child->window() == window->window() && takesButtonFace(child))
            paintBackground(child, face);
    }
}

SkinEngine *ApplySkin(QMainWindow *window)
{
    return ApplySkinFile(window, ProgramFile(QStringLiteral("x/o.cjs")));
}

SkinEngine *ApplySkinFile(QMainWindow *window, const QString &path)
{
    if (!window || !FileExists(path))
        return nullptr;
    ApplyClassicColors(window);

    auto *engine = window->findChild<SkinEngine *>(QStringLiteral("SkinFramework1"), Qt::FindDirectChildrenOnly);
    if (!engine) {
        engine = new SkinEngine(window);
        engine->setObjectName(QStringLiteral("SkinFramework1"));
    }
    engine->loadSkin(path, QString());
    engine->setOptions(engine->options() | SkinEngine::kSkinEnabled);
    engine->setApplyToNewWindows(true);
    engine->setReloadOnChange(true);
    engine->applyWindow(window);
    return engine;
}

} // namespace larkspan

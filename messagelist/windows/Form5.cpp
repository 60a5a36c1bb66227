#include "messagelist/windows/Form5.h"
#include "messagelist/windows/RetrievalRun.h"

#include "messagelist/windows/MainListParts.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/windows/SecondaryWindowLook.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WindowPointer.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace larkspan {

Form5::Form5(MainListParts &ctx, QWidget *owner)
    : QDialog(owner), m_ctx(ctx), m_pointer(new WindowPointer(this))
{
    setWindowTitle(QStringLiteral("Filter By Characters"));
    setWindowModality(Qt::ApplicationModal);
    Frame1 = new QGroupBox(
        QStringLiteral("Filter By Characters - only emails containing these characters will be retrieved"), this);
    txtSearch = new QLineEdit(Frame1);
    txtSearch->setAccessibleName(QStringLiteral("Filter By Characters"));
    txtSearch->setAccessibleDescription(Frame1->title());
    PushButton1 = new QPushButton(QStringLiteral("OK"), this);
    PushButton2 = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceTwips(Frame1, 120, 120, 6975, 855);
    PlaceTwips(txtSearch, 120, 360, 6735, 375);
    PlaceTwips(PushButton1, 3720, 1095, 1620, 405);
    PlaceTwips(PushButton2, 5475, 1095, 1620, 405);
    setFixedSize(TwipsToPixels(7215, this), TwipsToPixels(1620, this));
    PushButton1->setDefault(true);
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    // Escape and the close box end up here too.
    connect(this, &QDialog::finished, this, [this] { Form_Unload(); });
    Form_Load();
}

Form5::~Form5()
{
    Form_Unload();
}

void Form5::Form_Load()
{
    ErrorTrap trap("Form5", "Form_Load", __LINE__);
    trap.step(__LINE__, [&] { ApplySecondaryWindowLook(this, m_pointer); });
}

void Form5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void Form5::Form_Activate()
{
    ErrorTrap trap("Form5", "Form_Activate", __LINE__);
    trap.step(__LINE__, [&] {
        if (!m_ctx.CharactersFilter.isEmpty())
            txtSearch->setText(m_ctx.CharactersFilter);
    });
}

void Form5::PushButton1_Click()
{
    ErrorTrap trap("Form5", "PushButton1_Click", __LINE__);
    trap.step(__LINE__, [&] { m_ctx.CharactersFilter = txtSearch->text(); });
    trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("CharactersFilter"), m_ctx.CharactersFilter); });
    accept();
}

void Form5::PushButton2_Click()
{
    reject();
}

void Form5::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    SkipDoneMessage = true;
}

} // namespace larkspan

#include "platform/widgets/ProgressBar.h"

#include <cmath>

namespace larkspan {

ProgressBar::ProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    setText(QStringLiteral("Progress Bar"));
}

void ProgressBar::setText(const QString &text)
{
    m_text = text;
    QString format = text;
    format.replace(QLatin1Char('%'), QStringLiteral("%%"));
    setFormat(format);
    setAccessibleName(text); // announces the change as well
}

void ProgressBar::setPreciseValue(double value)
{
    m_precise = value;
    setValue(static_cast<int>(std::lround(value)));
}

} // namespace larkspan

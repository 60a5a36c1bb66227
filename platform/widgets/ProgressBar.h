#pragma once

#include <QProgressBar>

namespace larkspan {

// A progress bar that shows a text of the program's choosing ("Progress Bar" when
// idle). The text is also the bar's accessible name, and every change of it is
// announced, so a screen reader speaks "Reading mail 12 of 300" as it appears.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    QString text() const override { return m_text; }
    void setText(const QString &text);

    // Value within 0..maximum; a fraction is kept for preciseValue().
    void setPreciseValue(double value);
    double preciseValue() const { return m_precise; }

private:
    QString m_text;
    double m_precise = 0;
};

} // namespace larkspan

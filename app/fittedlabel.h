#pragma once

#include <QProxyStyle>

class QLabel;

namespace zuna {

// Fits one of the window's labels to the width the window gives it: a text that does not
// fit is drawn cut, ending in "…", and shown whole in a tooltip, while the label's text
// and what a screen reader is told of it stay whole. The label no longer asks for the width
// of its text, so a long title never widens the window. A child of the label.
class FittedLabel : public QProxyStyle {
    Q_OBJECT

public:
    static void fit(QLabel *label);

    void drawItemText(QPainter *painter, const QRect &area, int flags, const QPalette &palette,
                      bool enabled, const QString &text,
                      QPalette::ColorRole role = QPalette::NoRole) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FittedLabel(QLabel *label);

    QLabel *const label;
};

}  // namespace zuna

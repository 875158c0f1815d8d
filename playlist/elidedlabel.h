#pragma once

#include <QLabel>

namespace zuna {

// A label that shows as much of its text as its width holds, ending in "…" when the rest
// is cut; text() and what a screen reader is told stay whole. It asks for no width of its
// own, so a long text never pushes its neighbours aside.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace zuna

#include "app/fittedlabel.h"

#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>

namespace zuna {

FittedLabel::FittedLabel(QLabel *fitted) : label(fitted)
{
    setParent(fitted);
}

void FittedLabel::fit(QLabel *label)
{
    auto *style = new FittedLabel(label);
    label->setStyle(style);
    label->installEventFilter(style);
    // Any width will do: the text is cut to it.
    label->setMinimumWidth(1);
}

void FittedLabel::drawItemText(QPainter *painter, const QRect &area, int flags,
                               const QPalette &palette, bool enabled, const QString &text,
                               QPalette::ColorRole role) const
{
    const QString shown = (flags & Qt::TextWordWrap) ? text
                                                     : painter->fontMetrics().elidedText(
                                                           text, Qt::ElideRight, area.width());
    QProxyStyle::drawItemText(painter, area, flags, palette, enabled, shown, role);
}

bool FittedLabel::eventFilter(QObject *watched, QEvent *event)
{
    // The whole text, when what is shown of it is cut.
    if (watched != label || event->type() != QEvent::ToolTip || !label->toolTip().isEmpty())
        return false;
    if (label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width())
        return false;
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), label->text(), label);
    return true;
}

}  // namespace zuna

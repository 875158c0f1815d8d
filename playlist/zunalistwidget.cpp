#include "playlist/zunalistwidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "metadata/sizetext.h"
#include "metadata/timetext.h"
#include "playlist/elidedlabel.h"

using namespace zuna;

namespace {
constexpr int kRowMargin = 5;

// The row's look, shared by every row: a font that sets only its size and weight, so the
// family still comes from the list. Fonts are implicitly shared, where a style sheet per
// label would cost each of thousands of rows its own parsed style.
QFont rowFont(int pointSize, bool bold)
{
    QFont font;
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

struct RowFonts {
    QFont title = rowFont(11, true);
    QFont artist = rowFont(9, false);
    QFont type = rowFont(8, true);
    QFont detail = rowFont(8, false);
};

const RowFonts &rowFonts()
{
    static const RowFonts fonts;
    return fonts;
}

}  // namespace

ZUNAListWidget::ZUNAListWidget(const TrackMetadata &read, QString file, QWidget *parent)
    : QWidget(parent), path(std::move(file)), metadata(read)
{
}

ZUNAListWidget::ZUNAListWidget(StoredMetadata read, QString file, QWidget *parent)
    : QWidget(parent), path(std::move(file)), metadata(std::move(read))
{
}

ZUNAListWidget::~ZUNAListWidget() = default;

bool ZUNAListWidget::event(QEvent *event)
{
    // Polished when shown; a row kept out of sight may never be.
    if (event->type() == QEvent::PolishRequest && hiddenByView)
        return true;
    if (event->type() == QEvent::Polish && labelsWanted)
        ensureLabels();
    return QWidget::event(event);
}

void ZUNAListWidget::keepHidden(bool hidden)
{
    hiddenByView = hidden;
    if (hidden && isVisible())
        hide();
}

void ZUNAListWidget::setVisible(bool visible)
{
    // A list shows the entry it is given at once; for one of thousands of rows out of
    // sight, that would be work to undo straight away.
    if (!visible || !hiddenByView)
        QWidget::setVisible(visible);
}

void ZUNAListWidget::releaseLabels()
{
    labelsWanted = false;
    delete layout();  // with its columns and spacer; the labels are children of this widget
    qDeleteAll(findChildren<QLabel *>(Qt::FindDirectChildrenOnly));
}

void ZUNAListWidget::ensureLabels()
{
    labelsWanted = true;
    if (layout())
        return;
    // Layouts are parentless until setLayout() below hands them to this widget. The labels
    // are its children from the start (a parentless one would be a window for a moment,
    // and keep a window's record for life); made while the entry is visible, they must be
    // shown explicitly.
    auto *row = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    auto *right = new QVBoxLayout;

    // Title and artist are cut to the room the type, length and size leave them.
    QLabel *artist = new ElidedLabel(metadata.artist(), this);
    QLabel *title = new ElidedLabel(metadata.title(), this);
    auto *type = new QLabel(metadata.type(), this);
    auto *length = new QLabel(timeText(metadata.lengthMs()), this);
    auto *size = new QLabel(sizeText(metadata.sizeBytes()), this);

    // Tags and paths are shown as the plain text they are, never read as markup.
    for (QLabel *label : {artist, title, type, length, size})
        label->setTextFormat(Qt::PlainText);
    const RowFonts &fonts = rowFonts();
    title->setFont(fonts.title);
    artist->setFont(fonts.artist);
    type->setFont(fonts.type);
    type->setAlignment(Qt::AlignRight);
    length->setFont(fonts.detail);
    length->setAlignment(Qt::AlignRight);
    size->setFont(fonts.detail);
    size->setAlignment(Qt::AlignRight);

    row->setSpacing(0);
    // The list sizes the entry; a minimum size set by the layout would cost the entry a
    // record of extra data it keeps after its labels go.
    row->setSizeConstraint(QLayout::SetNoConstraint);
    row->setContentsMargins(kRowMargin, kRowMargin, kRowMargin, kRowMargin);
    left->setAlignment(Qt::AlignLeft);
    right->setAlignment(Qt::AlignRight);

    left->addWidget(title);
    left->addWidget(artist);
    right->addWidget(type);
    right->addWidget(length);
    right->addWidget(size);

    row->addLayout(left);
    row->addItem(new QSpacerItem(0, 0, QSizePolicy::Maximum, QSizePolicy::Maximum));
    row->addLayout(right);
    setLayout(row);
    if (isVisible()) {
        for (QLabel *label : {title, artist, type, length, size})
            label->show();
    }
}

QString ZUNAListWidget::Getpath() const
{
    return path;
}

TrackMetadata ZUNAListWidget::Getmetadata() const
{
    return metadata.toMap();
}

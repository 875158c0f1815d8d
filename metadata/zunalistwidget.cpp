#include "metadata/zunalistwidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "metadata/sizetext.h"
#include "metadata/timetext.h"

namespace {
// The row's look in one place, so that it can later move to a shared style.
const QString kTitleStyle = QStringLiteral("font-size: 11pt; font-weight: bold;");
const QString kArtistStyle = QStringLiteral("font-size: 9pt;");
const QString kTypeStyle = QStringLiteral("font-size: 8pt; font-weight: bold;");
const QString kDetailStyle = QStringLiteral("font-size: 8pt;");
constexpr int kRowMargin = 5;

// A number the reader wrote; anything missing or unparsable counts as 0. 64-bit, so that
// sizes from 2 GiB and lengths past 24 days keep their value.
qint64 numberOf(const TrackMetadata &metadata, const QString &key)
{
    bool ok = false;
    const qint64 value = metadata.value(key).toLongLong(&ok, 10);
    return ok ? value : 0;
}
}  // namespace

ZUNAListWidget::ZUNAListWidget(TrackMetadata metadata, QString path, QWidget *parent)
    : QWidget(parent), path(std::move(path)), metadata(std::move(metadata))
{
    const TrackMetadata &m = this->metadata;
    const QString lengthText = timeText(numberOf(m, QStringLiteral("LENGTH")));

    // Layouts and labels are parentless until setLayout() below hands them all to this
    // widget.
    auto *row = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    auto *right = new QVBoxLayout;

    auto *artist = new QLabel(m.value(QStringLiteral("ARTIST")));
    auto *title = new QLabel(m.value(QStringLiteral("TITLE")));
    auto *type = new QLabel(m.value(QStringLiteral("TYPE")));
    auto *length = new QLabel(lengthText);
    auto *size = new QLabel(sizeText(numberOf(m, QStringLiteral("SIZE"))));

    title->setStyleSheet(kTitleStyle);
    artist->setStyleSheet(kArtistStyle);
    type->setStyleSheet(kTypeStyle);
    type->setAlignment(Qt::AlignRight);
    length->setStyleSheet(kDetailStyle);
    length->setAlignment(Qt::AlignRight);
    size->setStyleSheet(kDetailStyle);
    size->setAlignment(Qt::AlignRight);

    row->setSpacing(0);
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
}

ZUNAListWidget::~ZUNAListWidget() = default;

QString ZUNAListWidget::Getpath() const
{
    return path;
}

TrackMetadata ZUNAListWidget::Getmetadata() const
{
    return metadata;
}

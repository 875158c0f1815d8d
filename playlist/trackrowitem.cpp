#include "playlist/trackrowitem.h"

#include <QFileInfo>
#include <QStringList>

#include "metadata/sizetext.h"
#include "metadata/timetext.h"
#include "playlist/zunalistwidget.h"

namespace zuna {

namespace {
// What the reader writes for a tag the file lacks.
const QString kUnknown = QStringLiteral("Unknow");

QString known(const TrackMetadata &metadata, const QString &key)
{
    const QString text = metadata.value(key).trimmed();
    return text == kUnknown ? QString() : text;
}
}  // namespace

QString trackRowName(const TrackMetadata &metadata, const QString &path)
{
    QString title = known(metadata, QStringLiteral("TITLE"));
    if (title.isEmpty())
        title = QFileInfo(path).fileName();
    QStringList parts = {title};
    if (const QString artist = known(metadata, QStringLiteral("ARTIST")); !artist.isEmpty())
        parts.append(artist);
    parts.append(timeText(metadata.value(QStringLiteral("LENGTH")).toLongLong()));
    return parts.join(QStringLiteral(", "));
}

QVariant TrackRowItem::data(int role) const
{
    if (role == Qt::SizeHintRole) {
        const QVariant set = QListWidgetItem::data(role);
        return set.isValid() ? set : QVariant(QSize(0, kHeight));
    }
    const bool described = role == Qt::AccessibleTextRole ||
                           role == Qt::AccessibleDescriptionRole || role == Qt::ToolTipRole;
    // The list asks for the widget of an item it holds; it changes nothing of it.
    const auto *entry = described && listWidget()
                            ? qobject_cast<const ZUNAListWidget *>(
                                  listWidget()->itemWidget(const_cast<TrackRowItem *>(this)))
                            : nullptr;
    if (!entry)
        return QListWidgetItem::data(role);
    const QString file = entry->Getpath();
    const TrackMetadata read = entry->Getmetadata();
    switch (role) {
        case Qt::AccessibleTextRole:
            return trackRowName(read, file);
        case Qt::AccessibleDescriptionRole:
            return QStringList({read.value(QStringLiteral("TYPE")),
                                sizeText(read.value(QStringLiteral("SIZE")).toLongLong()), file})
                .join(QStringLiteral(", "));
        default: {  // the tooltip
            QStringList lines;
            for (const char *key : {"TITLE", "ARTIST"})
                if (const QString text = known(read, QString::fromLatin1(key)); !text.isEmpty())
                    lines.append(text);
            lines.append(file);
            return lines.join(u'\n');
        }
    }
}

}  // namespace zuna

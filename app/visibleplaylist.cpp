#include "app/visibleplaylist.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTabWidget>
#include <QTimer>
#include <memory>
#include <utility>

#include "app/transport.h"
#include "app/viewrows.h"
#include "audio/audiosystem.h"
#include "playlist/folderwalk.h"
#include "playlist/zunalistview.h"

namespace zuna {

namespace {
// Whether the player finds sound in the file: it opens as a stream. Reads only the start.
bool playable(const QString &path)
{
    AudioSystem system;
    std::unique_ptr<AudioStream> stream;
    return system.openStream(QFile::encodeName(path).toStdString(), &stream) == AudioResult::Ok;
}
}  // namespace

VisiblePlaylist::VisiblePlaylist(QTabWidget *tabWidget, Transport *player, QObject *parent)
    : QObject(parent), tabs(tabWidget), transport(player)
{
    connect(tabs, &QTabWidget::currentChanged, this, &VisiblePlaylist::watchVisible);
    watchVisible();
}

ZUNAListView *VisiblePlaylist::view() const
{
    return qobject_cast<ZUNAListView *>(tabs->currentWidget());
}

bool VisiblePlaylist::hasRows() const
{
    return view() && view()->count() > 0;
}

QHash<QString, int> VisiblePlaylist::rowsByPath() const
{
    QHash<QString, int> rows;
    const ViewRows *playlist = ViewRows::of(view());
    for (int row = view()->count() - 1; row >= 0; --row)
        rows.insert(playlist->path(row), row);  // the first row of a path, where it has two
    return rows;
}

VisiblePlaylist::Opened VisiblePlaylist::open(const QStringList &paths)
{
    Opened answer;
    QStringList files;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            answer.missing.append(path);
        } else if (info.isDir()) {
            const QStringList music = expandFolders({path});
            if (music.isEmpty())
                answer.unplayable.append(path);
            files += music;
        } else if (!playable(path)) {
            answer.unplayable.append(path);
        } else {
            files.append(path);
        }
    }
    ZUNAListView *playlist = view();
    if (files.isEmpty() || !playlist)
        return answer;
    // The first at once, to be played; the rest as a drop comes in, in the background.
    QHash<QString, int> present = rowsByPath();
    int first = present.value(files.first(), -1);
    if (first < 0) {
        playlist->AddFile(files.first());
        first = playlist->count() - 1;
        present.insert(files.first(), first);
    }
    QStringList rest;
    for (const QString &file : std::as_const(files)) {
        if (!present.contains(file))
            rest.append(file);
        present.insert(file, -1);
    }
    playlist->AddFiles(rest);
    transport->choose(ViewRows::of(playlist), first);
    answer.played = true;
    return answer;
}

bool VisiblePlaylist::startChosenRow()
{
    ZUNAListView *playlist = view();
    if (!hasRows())
        return false;
    const QList<QListWidgetItem *> selected = playlist->selectedItems();
    transport->choose(ViewRows::of(playlist), selected.isEmpty() ? 0 : playlist->row(selected[0]));
    return true;
}

void VisiblePlaylist::watchVisible()
{
    for (const QMetaObject::Connection &connection : watched)
        disconnect(connection);
    if (ZUNAListView *playlist = view()) {
        const QAbstractItemModel *rows = playlist->model();
        watched[0] =
            connect(rows, &QAbstractItemModel::rowsInserted, this, &VisiblePlaylist::changedSoon);
        watched[1] =
            connect(rows, &QAbstractItemModel::rowsRemoved, this, &VisiblePlaylist::changedSoon);
        watched[2] =
            connect(rows, &QAbstractItemModel::modelReset, this, &VisiblePlaylist::changedSoon);
    }
    changedSoon();
}

void VisiblePlaylist::changedSoon()
{
    // One word once the rows have settled: files come in by the thousand.
    if (!std::exchange(changePending, true))
        QTimer::singleShot(0, this, [this] {
            changePending = false;
            emit rowsChanged();
        });
}

}  // namespace zuna

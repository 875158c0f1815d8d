#pragma once

#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <QStringList>

class QTabWidget;
class ZUNAListView;

namespace zuna {

class Transport;

// The playlist of the visible tab, as the desktop reaches it: files and folders opened from
// outside go into it and play, and Play with nothing current starts one of its rows. It
// says when that playlist, or what rows it has, changes.
class VisiblePlaylist : public QObject {
    Q_OBJECT

public:
    VisiblePlaylist(QTabWidget *tabs, Transport *transport, QObject *parent = nullptr);

    struct Opened {
        bool played = false;     // the first of what was asked for plays
        QStringList missing;     // paths that lead nowhere
        QStringList unplayable;  // files with no sound in them, folders with no music
    };
    // Opens `paths` (absolute) as the desktop's Open With does: each file, and the music
    // of each folder as a drop takes it, goes at the end of the visible playlist, unless
    // it is in there already; the first of them plays. A file that is missing or cannot be
    // played changes nothing and is named in the answer.
    Opened open(const QStringList &paths);
    // Starts the selected row of the visible playlist, else its first; whether there was one.
    bool startChosenRow();
    bool hasRows() const;

signals:
    void rowsChanged();  // once the rows have settled, however many came or went

private:
    ZUNAListView *view() const;
    QHash<QString, int> rowsByPath() const;  // the visible playlist's rows by their files
    void watchVisible();
    void changedSoon();

    QTabWidget *const tabs;
    Transport *const transport;
    QMetaObject::Connection watched[3];
    bool changePending = false;
};

}  // namespace zuna

#pragma once

#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <deque>
#include <functional>
#include <memory>

#include "metadata/storedmetadata.h"

namespace zuna {

// Takes files into a playlist without stopping the window. Folders are walked and every
// file's metadata is read on a pool of threads, at a lower priority than the window and the
// sound, the reading starting with the first folder's files; the rows go into the list on
// the GUI thread in exactly the order asked for, as the metadata arrives, a few milliseconds
// of work at a time, so that the window keeps answering while thousands of files come in.
// Equal artist and album texts are shared by all their rows. What is asked for while an
// intake runs waits behind it.
class PlaylistIntake : public QObject {
    Q_OBJECT

public:
    // Puts one row at the end of the playlist. Returns false when the next row is better
    // put in at the next turn of the event loop, as it will cost more than rows usually do.
    using AddRow = std::function<bool(const QString &path, const StoredMetadata &metadata)>;

    explicit PlaylistIntake(AddRow addRow, QObject *parent = nullptr);
    ~PlaylistIntake() override;  // what has not been added by then never is

    // Queues `paths`; with `walkFolders`, each folder among them stands for the audio files
    // under it (see expandFolders).
    void add(const QStringList &paths, bool walkFolders);
    // Adds everything queued before returning, for callers that need the rows at once.
    void finish();
    bool busy() const { return current != nullptr; }

signals:
    void busyChanged(bool busy);
    void blockRead();  // the pool's word that rows may be ready to go in

private:
    struct Batch {
        QStringList paths;
        bool walkFolders = false;
    };
    struct Block;  // files read together, with what was read
    struct Work;   // one batch as the pool's threads see it

    void startNext();
    void list(const std::shared_ptr<Work> &work, const Batch &batch);
    void read(const std::shared_ptr<Work> &work, int number, const QStringList &paths);
    void addReadRows(int budgetMs);
    void takeSoon();

    const AddRow addRow;
    std::deque<Batch> waiting;
    std::shared_ptr<Work> current;
    QThreadPool pool;
    bool takePending = false;
};

}  // namespace zuna

#include "playlist/playlistintake.h"

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "playlist/folderwalk.h"

namespace {
// Files read by one task: enough that a task is worth starting, few enough that the first
// rows show at once.
constexpr int kBlock = 32;
// GUI-thread time spent adding rows before the event loop turns again.
constexpr int kSliceMs = 8;
}  // namespace

struct PlaylistIntake::Work {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;  // guards the block below
    QStringList files;
    bool listed = false;                               // `files` is complete
    std::map<int, std::vector<TrackMetadata>> blocks;  // read and not yet added, by number
    // The GUI thread's own: the next block to take, and the one being added.
    int nextBlock = 0;
    std::vector<TrackMetadata> adding;
    int firstAdding = 0;  // its first file's index
    size_t nextInAdding = 0;
};

PlaylistIntake::PlaylistIntake(AddRow add, QObject *parent)
    : QObject(parent), addRow(std::move(add))
{
    // Emitted on the pool's threads: the rows are added here, on this object's thread.
    connect(this, &PlaylistIntake::blockRead, this, &PlaylistIntake::takeSoon,
            Qt::QueuedConnection);
}

PlaylistIntake::~PlaylistIntake()
{
    if (current)
        current->cancelled = true;
    pool.clear();
    pool.waitForDone();  // a file being read is the most there is to wait for
}

void PlaylistIntake::add(const QStringList &paths, bool walkFolders)
{
    if (paths.isEmpty())
        return;
    waiting.push_back({paths, walkFolders});
    if (!current)
        startNext();
}

void PlaylistIntake::startNext()
{
    const bool wasBusy = busy();
    current.reset();
    if (waiting.empty()) {
        if (wasBusy)
            emit busyChanged(false);
        return;
    }
    const Batch batch = std::move(waiting.front());
    waiting.pop_front();
    auto work = std::make_shared<Work>();
    current = work;
    if (!wasBusy)
        emit busyChanged(true);
    // Listing the folders is the pool's job too, and the reading starts once it is done.
    // The tasks may use `this`: it waits for them all before it goes.
    pool.start([this, work, batch] {
        const QStringList files = batch.walkFolders ? expandFolders(batch.paths) : batch.paths;
        {
            const std::lock_guard<std::mutex> lock(work->mutex);
            work->files = files;
            work->listed = true;
        }
        for (int first = 0; first < files.size() && !work->cancelled; first += kBlock) {
            pool.start([this, work, files, first] {
                std::vector<TrackMetadata> read;
                for (int i = first; i < qMin(first + kBlock, files.size()); ++i) {
                    if (work->cancelled)
                        return;
                    read.push_back(readTrackMetadata(files[i]));
                }
                {
                    const std::lock_guard<std::mutex> lock(work->mutex);
                    work->blocks.emplace(first / kBlock, std::move(read));
                }
                emit blockRead();
            });
        }
        emit blockRead();
    });
}

void PlaylistIntake::takeSoon()
{
    // Results come by the block from every thread; one turn of the event loop takes them.
    if (std::exchange(takePending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        takePending = false;
        addReadRows(kSliceMs);
    });
}

void PlaylistIntake::addReadRows(int budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    while (current) {
        Work &work = *current;
        if (work.nextInAdding == work.adding.size()) {
            bool allIn = false;
            {
                const std::lock_guard<std::mutex> lock(work.mutex);
                const auto found = work.blocks.find(work.nextBlock);
                if (found != work.blocks.end()) {
                    work.adding = std::move(found->second);
                    work.blocks.erase(found);
                    work.firstAdding = work.nextBlock++ * kBlock;
                    work.nextInAdding = 0;
                } else if (work.listed && work.nextBlock * kBlock >= work.files.size()) {
                    allIn = true;
                } else {
                    return;  // the next rows in order are still being read
                }
            }
            if (allIn) {
                startNext();
                continue;
            }
        }
        // Rows go in one at a time, in order, until the time for this turn is used up.
        while (work.nextInAdding < work.adding.size()) {
            const size_t i = work.nextInAdding++;
            addRow(work.files[work.firstAdding + int(i)], work.adding[i]);
            if (budgetMs >= 0 && clock.elapsed() >= budgetMs) {
                takeSoon();
                return;
            }
        }
    }
}

void PlaylistIntake::finish()
{
    while (current) {
        pool.waitForDone();  // the listing and every block it started
        addReadRows(-1);
    }
}

#include "playlist/playlistintake.h"

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "metadata/storedmetadata.h"
#include "metadata/textpool.h"
#include "playlist/folderwalk.h"

namespace zuna {

namespace {
// Files read by one task: enough that a task is worth starting, few enough that the first
// rows show at once.
constexpr int kBlock = 32;
// GUI-thread time spent adding rows before the event loop turns again: a quarter of a frame,
// so that a turn delayed by a busy processor still comes within one.
constexpr int kSliceMs = 4;
constexpr int kReaderNice = 5;

// Readers yield to the window and the sound: a nice value of their own (Linux keeps one per
// thread), a few steps below the process's, lets them have what the rest leaves of the
// processors. Once per pool thread.
void lowerThisThreadsPriority()
{
    thread_local bool lowered = false;
    if (std::exchange(lowered, true))
        return;
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, 0);
    if (errno == 0)
        setpriority(PRIO_PROCESS, 0, now + kReaderNice);
}
}  // namespace

struct PlaylistIntake::Block {
    QStringList paths;
    std::vector<StoredMetadata> read;
};

// Blocks are read into nodes of a map by the readers and handed over node and all: the GUI
// thread frees none of them. Memory a reader allocated is freed under that reader's
// allocator lock, and a reader of low priority may be holding it while it waits for a
// processor on a busy machine: the window would wait with it. So added blocks go back to
// the readers, who free them, and the GUI thread never waits on a lock a reader holds.
struct PlaylistIntake::Work {
    using Blocks = std::map<int, Block>;

    std::atomic<bool> cancelled{false};
    std::mutex mutex;                      // guards the three below
    Blocks blocks;                         // read and not yet added, by number
    std::vector<Blocks::node_type> spent;  // added, for a reader to free
    int blockCount = -1;                   // known once every folder is listed
    std::mutex textsMutex;                 // guards `texts`
    TextPool texts;                        // shared texts of this batch
    // The GUI thread's own: the next block to take, and the one being added.
    int nextBlock = 0;
    Blocks::node_type adding;
    size_t nextInAdding = 0;

    bool addingDone() const { return !adding || nextInAdding == adding.mapped().read.size(); }
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
    // The batch's last blocks and shared texts were allocated by the readers: one of them
    // frees them (see Work).
    if (current)
        pool.start([spent = std::move(current)]() mutable { spent.reset(); });
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
    // Listing the folders is the pool's job too; reading starts with the first files found.
    // The tasks may use `this`: it waits for them all before it goes.
    pool.start([this, work, batch] { list(work, batch); });
}

void PlaylistIntake::list(const std::shared_ptr<Work> &work, const Batch &batch)
{
    lowerThisThreadsPriority();
    int blocks = 0;
    QStringList pending;
    const auto take = [&](const QStringList &files) {
        pending += files;
        qsizetype first = 0;
        for (; pending.size() - first >= kBlock; first += kBlock) {
            const QStringList paths = pending.mid(first, kBlock);
            const int number = blocks++;
            pool.start([this, work, number, paths] { read(work, number, paths); });
        }
        pending = pending.mid(first);
        return !work->cancelled;
    };
    if (batch.walkFolders)
        walkFolders(batch.paths, take);
    else
        take(batch.paths);
    if (!pending.isEmpty() && !work->cancelled) {
        const int number = blocks++;
        pool.start([this, work, number, pending] { read(work, number, pending); });
    }
    {
        const std::lock_guard<std::mutex> lock(work->mutex);
        work->blockCount = blocks;
    }
    emit blockRead();
}

void PlaylistIntake::read(const std::shared_ptr<Work> &work, int number, const QStringList &paths)
{
    lowerThisThreadsPriority();
    std::vector<TrackMetadata> maps;
    maps.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        if (work->cancelled)
            return;
        maps.push_back(readTrackMetadata(path));
    }
    {
        const std::lock_guard<std::mutex> lock(work->textsMutex);
        for (TrackMetadata &metadata : maps)
            work->texts.shareRepeated(&metadata);
    }
    // The maps are made and undone here: what the GUI thread frees of memory that a reader
    // allocated, it frees under that reader's allocator lock, which a reader of low priority
    // may hold for long on a busy machine. Rows keep only the texts, and the node is made
    // outside the lock the GUI thread takes.
    Work::Blocks read;
    Block &block = read[number];
    block.paths = paths;
    block.read.reserve(maps.size());
    for (const TrackMetadata &metadata : maps)
        block.read.emplace_back(metadata);
    maps.clear();
    std::vector<Work::Blocks::node_type> added;
    {
        const std::lock_guard<std::mutex> lock(work->mutex);
        work->blocks.merge(read);
        added.reserve(work->spent.size());
        for (Work::Blocks::node_type &node : work->spent)
            added.push_back(std::move(node));
        work->spent.clear();  // keeps its buffer, the GUI thread's
    }
    emit blockRead();
    // `added` goes here, on this thread.
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
        if (work.addingDone()) {
            bool allIn = false;
            {
                // A reader holds the lock only to hand over a block, but it may be waiting
                // for a processor meanwhile: rather than wait with it, come back shortly.
                const std::unique_lock<std::mutex> lock(work.mutex, std::try_to_lock);
                if (!lock.owns_lock()) {
                    QTimer::singleShot(1, this, &PlaylistIntake::takeSoon);
                    return;
                }
                if (work.adding)
                    work.spent.push_back(std::move(work.adding));
                const auto found = work.blocks.find(work.nextBlock);
                if (found != work.blocks.end()) {
                    work.adding = work.blocks.extract(found);
                    ++work.nextBlock;
                    work.nextInAdding = 0;
                } else if (work.nextBlock == work.blockCount) {
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
        const Block &block = work.adding.mapped();
        while (work.nextInAdding < block.read.size()) {
            const size_t i = work.nextInAdding++;
            const bool cheapNext = addRow(block.paths[qsizetype(i)], block.read[i]);
            if (budgetMs >= 0 && (!cheapNext || clock.elapsed() >= budgetMs)) {
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

}  // namespace zuna

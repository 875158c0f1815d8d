#include "audio/engine/zunaaudio.h"

#include <QDebug>
#include <QFile>
#include <QTimer>
#include <utility>

#include "audio/audiosystem.h"

namespace {
constexpr int kMonitorPeriodMs = 1000;
constexpr quint32 kNearEndFrom = 4000;  // ms left
constexpr quint32 kNearEndTo = 5000;

std::string fileName(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Brings the channel's word that a track has been heard to its end from the audio layer's
// thread to the engine's, as a queued signal.
class EndNotice : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void heard();
};
}  // namespace

ZUNAAudio::ZUNAAudio(QObject *parent)
    : ZUNAAudio(std::make_unique<AudioSystem>(), kMonitorPeriodMs, parent)
{
}

ZUNAAudio::ZUNAAudio(std::unique_ptr<AudioSystem> audioSystem, int monitorPeriodMs, QObject *parent)
    : QObject(parent), system(std::move(audioSystem)), extra(new EngineReports(this))
{
    // The channel says from a thread of its own when a track has been heard to its end; the
    // news is taken in here, between the engine's other slots.
    auto *ends = new EndNotice(this);
    connect(ends, &EndNotice::heard, this, &ZUNAAudio::reportEnd);
    system->setTrackEndListener([ends] { emit ends->heard(); });
    if (monitorPeriodMs > 0) {
        // No parent, so moveToThread() leaves the timer on this thread; each timeout reaches
        // Timeout() as a queued call on the engine's thread, between its other slots.
        timer = std::make_unique<QTimer>();
        timer->setInterval(monitorPeriodMs);
        connect(timer.get(), &QTimer::timeout, this, &ZUNAAudio::Timeout);
        timer->start();
    }
}

ZUNAAudio::~ZUNAAudio()
{
    // Releasing the streams closes the sound device before the system goes.
    nextsound.reset();
    sound.reset();
}

void ZUNAAudio::Playfile(QString path)
{
    ++generation;
    queuedpath.clear();  // the window names what follows this one anew
    if (joinedpath.isEmpty() || path != joinedpath) {
        start(path);
        return;
    }
    // The channel went on into this file when the last one ended: it carries on as it is.
    joinedpath.clear();
    qDebug() << "Event: Playfile(" << path << ")";
    currentpath = path;
    length = sound->lengthMs();
    step = length / 100;
    lastposition = 0;
    playing = true;
    if (!reportEnd())  // a track shorter than the way here may be over already
        reportPlayback();
}

void ZUNAAudio::start(const QString &path)
{
    // The old track ends before the new one is announced; a file opened ahead for this
    // path is taken as it is.
    playing = false;
    joinedpath.clear();
    std::unique_ptr<AudioStream> opened;
    if (nextsound && nextpath == path)
        opened = std::move(nextsound);
    sound.reset();
    dropNext();
    qDebug() << "Event: Playfile(" << path << ")";
    currentpath = path;
    lastposition = 0;
    length = 0;
    step = 0;
    if (!opened && system->openStream(fileName(path), &opened) != AudioResult::Ok) {
        // An unreadable file leaves the engine idle; the next request works as usual.
        emit extra->Unplayable(generation, path);
        reportPlayback();
        return;
    }
    sound = std::move(opened);
    length = sound->lengthMs();
    step = length / 100;
    // Start paused so the user's volume and mute apply from the first sample.
    const AudioResult result = system->play(*sound, true, &channel);
    if (result == AudioResult::Ok) {
        channel.setVolume(volume);
        channel.setMuted(muted);
        channel.setPaused(false);
    }
    playing = channel.isPlaying();
    // Without a device the file is not to blame; one that opens but has nothing to play is.
    if (result == AudioResult::Corrupt || (result == AudioResult::Ok && !playing))
        emit extra->Unplayable(generation, path);
    reportPlayback();
    prepareNext();
}

void ZUNAAudio::Play()
{
    qDebug() << "Event: Play";
    if (paused) {
        channel.setPaused(false);
        paused = false;
    }
    if (!playing && joinedpath.isEmpty() && !currentpath.trimmed().isEmpty())
        start(currentpath);
    reportPlayback();
}

void ZUNAAudio::Pause()
{
    qDebug() << "Event: Pause";
    const bool pause = !channel.paused();
    channel.setPaused(pause);
    paused = pause;
    reportPlayback();
}

void ZUNAAudio::Stop()
{
    qDebug() << "Event: Stop";
    ++generation;
    if (!playing && joinedpath.isEmpty()) {
        reportPlayback();
        return;
    }
    channel.setPaused(false);
    sound.reset();
    dropNext();  // what was to follow is opened again if playing starts again
    joinedpath.clear();
    playing = false;
    reportPlayback();
}

void ZUNAAudio::Loop()
{
    qDebug() << "Event: Loop";
}

void ZUNAAudio::Mute()
{
    qDebug() << "Event: Mute";
    if (!muted)
        savedvolume = volume;
    muted = !muted;
    channel.setMuted(muted);
    emit IsMuted(muted);
}

void ZUNAAudio::Timeout()
{
    // The channel's own word on an end comes at once; this catches what it cannot tell,
    // such as a sound device that has gone.
    if (reportEnd())
        return;
    const quint32 position = channel.position();
    const quint32 remaining = length - position;  // wraps past the end: no near-end report
    if (remaining <= kNearEndTo && remaining >= kNearEndFrom && playing) {
        qDebug() << "Send event: Abouth Finish";
        emit AbouthFinish();
    }
    if (playing && position != lastposition) {
        lastposition = position;
        emit extra->Position(generation, position);
        emit Tick(position);
    }
}

bool ZUNAAudio::reportEnd()
{
    if (!playing)
        return false;
    const bool joined = nextsound && channel.plays(*nextsound);
    if (!joined && channel.isPlaying())
        return false;
    qDebug() << "Send event: Finish";
    playing = false;
    if (joined) {
        // The track that ended is released; the one it led into plays on, awaiting its
        // Playfile.
        sound = std::move(nextsound);
        joinedpath = std::exchange(nextpath, QString());
    } else {
        sound.reset();
    }
    emit extra->Ended(generation);
    emit Finish();
    reportPlayback();
    return true;
}

void ZUNAAudio::reportPlayback()
{
    using Playback = EngineReports::Playback;
    const Playback now = !playing           ? Playback::Stopped
                         : channel.paused() ? Playback::Paused
                                            : Playback::Playing;
    const bool changed = std::exchange(playback, now) != now;
    const bool newGeneration = std::exchange(reportedgeneration, generation) != generation;
    if (changed || newGeneration)
        emit extra->PlaybackChanged(generation, now);
}

void ZUNAAudio::Setvolume(int value)
{
    volume = float(qBound(0, value, 100) / 100.0);
    channel.setVolume(volume);
}

void ZUNAAudio::Setprogress(int value)
{
    channel.setPosition(quint32(qMax(0, value)) * step.load());
}

void ZUNAAudio::Setposition(uint ms)
{
    channel.setPosition(ms);
}

void ZUNAAudio::Queuefile(QString path)
{
    queuedpath = path;
    if (path != nextpath)
        dropNext();
    prepareNext();
}

void ZUNAAudio::prepareNext()
{
    if (!playing || queuedpath.isEmpty() || (nextsound && nextpath == queuedpath))
        return;
    dropNext();
    std::unique_ptr<AudioStream> next;
    if (system->openStream(fileName(queuedpath), &next) != AudioResult::Ok)
        return;  // its Playfile will find that out when its turn comes
    // It joins the track playing when their formats match; otherwise it waits, opened.
    channel.queue(*next);
    nextsound = std::move(next);
    nextpath = queuedpath;
}

void ZUNAAudio::dropNext()
{
    nextsound.reset();  // its release takes it out of the channel's queue
    nextpath.clear();
}

#include "zunaaudio.moc"

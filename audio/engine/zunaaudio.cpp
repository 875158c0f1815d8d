#include "audio/engine/zunaaudio.h"

#include <QDebug>
#include <QFile>
#include <QTimer>
#include <utility>

#include "audio/audiosystem.h"

using namespace zuna;

namespace {
constexpr int kMonitorPeriodMs = 1000;
constexpr quint32 kNearEndFrom = 4000;  // ms left
constexpr quint32 kNearEndTo = 5000;

std::string fileName(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Brings the channel's word that a track has been heard to its end from the audio layer's
// thread to the engine's, as a queued signal, with the number of the channel it came from.
class EndNotice : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void heard(quint64 channel);
};
}  // namespace

ZUNAAudio::ZUNAAudio(QObject *parent)
    : ZUNAAudio(std::make_unique<AudioSystem>(), kMonitorPeriodMs, parent)
{
}

ZUNAAudio::ZUNAAudio(std::unique_ptr<AudioSystem> audioSystem, int monitorPeriodMs, QObject *parent)
    : QObject(parent),
      system(std::move(audioSystem)),
      ends(new EndNotice(this)),
      extra(new EngineReports(this))
{
    // The channel says from a thread of its own when a track has been heard to its end; the
    // news is taken in here, between the engine's other slots, in the order it was told.
    connect(static_cast<EndNotice *>(ends), &EndNotice::heard, this, &ZUNAAudio::trackHeard);
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
    upcoming = Upcoming();
    sound.reset();
}

void ZUNAAudio::Playfile(QString path)
{
    if (state == State::Starting)
        reportPlayback();  // the file it named was never opened: its report, and no more
    ++generation;
    queuedpath.clear();  // the window names what follows this one anew
    if (state == State::Joined && path == upcoming.path) {
        confirmJoin(path);
        return;
    }
    announce(path);
    // Behind the requests already waiting: when a burst of them (a media key held down)
    // has replaced this one, it has cost no more than its line.
    QMetaObject::invokeMethod(this, &ZUNAAudio::begin, Qt::QueuedConnection);
}

void ZUNAAudio::announce(const QString &path)
{
    // The old track ends before the new one is announced; a file opened ahead for this
    // path is taken as it is.
    std::unique_ptr<AudioStream> opened;
    if (upcoming.stream && upcoming.path == path)
        opened = std::move(upcoming.stream);
    stopAll();
    qDebug() << "Event: Playfile(" << path << ")";
    currentpath = path;
    lastposition = 0;
    length = 0;
    step = 0;
    sound = std::move(opened);
    pending = Pending();
    state = State::Starting;
}

void ZUNAAudio::begin()
{
    if (state != State::Starting)
        return;  // made stale by a later request, or begun already
    state = State::Idle;
    if (!sound && system->openStream(fileName(currentpath), &sound) != AudioResult::Ok) {
        // An unreadable file leaves the engine idle; the next request works as usual.
        emit extra->Unplayable(generation, currentpath);
        reportPlayback();
        return;
    }
    length = sound->lengthMs();
    step = length / 100;
    // Word of an end from this channel carries its number; from any before, it is stale.
    system->setTrackEndListener([notice = static_cast<EndNotice *>(ends),
                                 serial = ++channelserial] { emit notice->heard(serial); });
    // Start paused so the user's volume and mute, and what was asked meanwhile, apply from
    // the first sample.
    const AudioResult result = system->play(*sound, true, &channel);
    if (result == AudioResult::Ok) {
        channel.setVolume(volume);
        channel.setMuted(muted);
        if (pending.progress >= 0)
            channel.setPosition(quint32(pending.progress) * step.load());
        else if (pending.positionms >= 0)
            channel.setPosition(quint32(pending.positionms));
        channel.setPaused(pending.paused);
    }
    const bool plays = channel.isPlaying();
    state = plays ? State::Playing : State::Idle;
    // Without a device the file is not to blame; one that opens but has nothing to play is.
    if (result == AudioResult::Corrupt || (result == AudioResult::Ok && !plays))
        emit extra->Unplayable(generation, currentpath);
    reportPlayback();
    prepareNext();
}

void ZUNAAudio::confirmJoin(const QString &path)
{
    // The channel went on into this file when the last one ended: it carries on as it is,
    // unless it has been heard to its end already (a track shorter than the way here).
    qDebug() << "Event: Playfile(" << path << ")";
    currentpath = path;
    const bool over = upcoming.ended || !channel.isPlaying();
    sound = std::move(upcoming.stream);
    upcoming = Upcoming();
    state = State::Playing;
    length = sound->lengthMs();
    step = length / 100;
    lastposition = 0;
    if (over)
        finishTrack();
    else
        reportPlayback();
}

void ZUNAAudio::trackHeard(quint64 fromChannel)
{
    if (fromChannel != channelserial)
        return;  // a channel since stopped
    // Each word is one end, in the order heard: the track asked for, then the one joined.
    if (state == State::Playing)
        finishTrack();
    else if (state == State::Joined)
        upcoming.ended = true;  // told when its Playfile comes
}

void ZUNAAudio::finishTrack()
{
    // `sound` has been heard to its last frame. The channel went on into the upcoming track
    // if it held it then; from here that one is heard, awaiting the window's word.
    qDebug() << "Send event: Finish";
    sound.reset();
    state = upcoming.queued ? State::Joined : State::Idle;
    emit extra->Ended(generation);
    emit Finish();
    reportPlayback();
}

void ZUNAAudio::stopAll()
{
    // The upcoming track goes too: the channel may be into it already.
    sound.reset();
    dropUpcoming();
    state = State::Idle;
}

void ZUNAAudio::Play()
{
    qDebug() << "Event: Play";
    if (paused) {
        channel.setPaused(false);
        paused = false;
    }
    pending.paused = false;
    if (state == State::Idle && !currentpath.trimmed().isEmpty()) {
        announce(currentpath);
        begin();
    }
    reportPlayback();
}

void ZUNAAudio::Pause()
{
    qDebug() << "Event: Pause";
    if (state == State::Starting) {
        pending.paused = !pending.paused;
        paused = pending.paused;
        return;
    }
    const bool pause = !channel.paused();
    channel.setPaused(pause);
    paused = pause;
    reportPlayback();
}

void ZUNAAudio::Stop()
{
    qDebug() << "Event: Stop";
    if (state == State::Starting)
        reportPlayback();  // the file it named was never opened: its report, and no more
    ++generation;
    if (state != State::Idle) {
        channel.setPaused(false);
        stopAll();
    }
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

bool ZUNAAudio::hearsSound() const
{
    return state == State::Playing && sound && channel.plays(*sound);
}

void ZUNAAudio::Timeout()
{
    // The channel's own word on an end comes at once; this catches what it cannot tell,
    // such as a sound device that has gone.
    if (state == State::Starting)
        return;  // nothing is heard yet
    if (state == State::Playing && !channel.isPlaying()) {
        // Heard to its end with the channel's word on the way, or the device is gone. A
        // channel that held the upcoming track went on into it and has played that out too.
        finishTrack();
        if (state == State::Joined)
            upcoming.ended = true;
        return;
    }
    // Between the end of the track and its word the channel plays what follows: no report
    // of that one's place for this one.
    if (!hearsSound())
        return;
    const quint32 position = channel.position();
    const quint32 remaining = length - position;  // wraps past the end: no near-end report
    if (remaining <= kNearEndTo && remaining >= kNearEndFrom) {
        qDebug() << "Send event: Abouth Finish";
        emit AbouthFinish();
    }
    if (position != lastposition) {
        lastposition = position;
        emit extra->Position(generation, position);
        emit Tick(position);
    }
}

void ZUNAAudio::reportPlayback()
{
    using Playback = EngineReports::Playback;
    const Playback now = state != State::Playing ? Playback::Stopped
                         : channel.paused()      ? Playback::Paused
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
    if (state == State::Starting)
        pending = {pending.paused, qMax(0, value), -1};
    else
        channel.setPosition(quint32(qMax(0, value)) * step.load());
}

void ZUNAAudio::Setposition(uint ms)
{
    if (state == State::Starting)
        pending = {pending.paused, -1, qint64(ms)};
    else
        channel.setPosition(ms);
}

void ZUNAAudio::Queuefile(QString path)
{
    queuedpath = path;
    if (state == State::Joined) {
        // The window names another file to follow the track that ended, or none: it will
        // not confirm the one the channel went on into, which ends here.
        if (path != upcoming.path) {
            stopAll();
            reportPlayback();
        }
        return;
    }
    if (path != upcoming.path)
        dropUpcoming();
    prepareNext();
}

void ZUNAAudio::prepareNext()
{
    if (state != State::Playing || queuedpath.isEmpty() || upcoming.path == queuedpath)
        return;
    dropUpcoming();
    upcoming.path = queuedpath;  // tried once: its Playfile finds out what is wrong with it
    if (system->openStream(fileName(queuedpath), &upcoming.stream) != AudioResult::Ok)
        return;
    // It joins the track playing when their formats match; otherwise it waits, opened. An
    // empty file has nothing to join with: its Playfile finds it has nothing to play.
    upcoming.queued =
        upcoming.stream->lengthFrames() > 0 && channel.queue(*upcoming.stream) == AudioResult::Ok;
}

void ZUNAAudio::dropUpcoming()
{
    upcoming = Upcoming();  // the release takes it out of the channel, even once heard
}

#include "zunaaudio.moc"

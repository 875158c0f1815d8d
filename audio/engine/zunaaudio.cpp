#include "audio/engine/zunaaudio.h"

#include <QDebug>
#include <QFile>
#include <QTimer>

#include "audio/audiosystem.h"

namespace {
constexpr int kMonitorPeriodMs = 1000;
constexpr quint32 kNearEndFrom = 4000;  // ms left
constexpr quint32 kNearEndTo = 5000;
}  // namespace

ZUNAAudio::ZUNAAudio(QObject *parent)
    : ZUNAAudio(std::make_unique<AudioSystem>(), kMonitorPeriodMs, parent)
{
}

ZUNAAudio::ZUNAAudio(std::unique_ptr<AudioSystem> audioSystem, int monitorPeriodMs, QObject *parent)
    : QObject(parent), system(std::move(audioSystem))
{
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
    // Releasing the stream closes the sound device before the system goes.
    sound.reset();
}

void ZUNAAudio::Playfile(QString path)
{
    // The old track ends before the new one is announced.
    playing = false;
    sound.reset();
    qDebug() << "Event: Playfile(" << path << ")";
    currentpath = path;
    if (system->openStream(QFile::encodeName(path).toStdString(), &sound) != AudioResult::Ok) {
        // An unreadable file leaves the engine idle; the next request works as usual.
        length = 0;
        step = 0;
        return;
    }
    length = sound->lengthMs();
    step = length / 100;
    // Start paused so the user's volume and mute apply from the first sample.
    if (system->play(*sound, true, &channel) == AudioResult::Ok) {
        channel.setVolume(volume);
        channel.setMuted(muted);
        channel.setPaused(false);
    }
    playing = channel.isPlaying();
}

void ZUNAAudio::Play()
{
    qDebug() << "Event: Play";
    if (paused) {
        channel.setPaused(false);
        paused = false;
    }
    if (!playing && !currentpath.trimmed().isEmpty())
        Playfile(currentpath);
}

void ZUNAAudio::Pause()
{
    qDebug() << "Event: Pause";
    const bool pause = !channel.paused();
    channel.setPaused(pause);
    paused = pause;
}

void ZUNAAudio::Stop()
{
    qDebug() << "Event: Stop";
    if (!playing)
        return;
    channel.setPaused(false);
    sound.reset();
    playing = false;
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
    const quint32 position = channel.position();
    const bool running = channel.isPlaying();
    const quint32 remaining = length - position;  // wraps past the end: no near-end report
    if (remaining <= kNearEndTo && remaining >= kNearEndFrom && playing) {
        qDebug() << "Send event: Abouth Finish";
        emit AbouthFinish();
    }
    if (!running) {
        if (!playing)
            return;
        qDebug() << "Send event: Finish";
        playing = false;
        sound.reset();
        emit Finish();
    }
    if (playing && position != lastposition) {
        lastposition = position;
        emit Tick(position);
    }
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

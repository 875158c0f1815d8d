#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

#include "audio/audiochannel.h"

class AudioStream;
class AudioSystem;
class QTimer;

// The playback engine. It plays one file at a time through its own AudioSystem and, once
// a second, reports the position, the near end and the end of the track. It is created
// on the GUI thread and then moved to a worker thread; its slots run there, one at a time,
// reached through queued connections. Volume and mute are the user's settings: they hold
// across tracks, stops and the end of a track.
class ZUNAAudio : public QObject {
    Q_OBJECT

public:
    explicit ZUNAAudio(QObject *parent = nullptr);
    // Plays through `system`. The monitor timer fires every `monitorPeriodMs` ms; with 0 there
    // is no timer and Timeout() runs only when invoked (tests and benchmarks drive it so).
    ZUNAAudio(std::unique_ptr<AudioSystem> audioSystem, int monitorPeriodMs,
              QObject *parent = nullptr);
    ~ZUNAAudio() override;

    // Safe to call from any thread: one hundredth of the track length in ms.
    quint32 Getstep() const { return step.load(); }
    // Safe to call from any thread: the volume (0.0-1.0) in force before the last mute.
    float Getvolume() const { return savedvolume.load(); }

signals:
    void Tick(uint position);
    void AbouthFinish();
    void Finish();
    void IsMuted(bool muted);

public slots:
    void Playfile(QString path);
    void Play();
    void Pause();
    void Stop();
    void Loop();
    void Mute();
    void Timeout();
    void Setvolume(int value);
    void Setprogress(int value);

private:
    quint32 length = 0;        // of the open track, ms
    quint32 lastposition = 0;  // carried by the last Tick
    std::atomic<quint32> step{0};
    bool playing = false;
    bool paused = false;
    bool muted = false;
    std::atomic<float> savedvolume{1.0f};
    float volume = 1.0f;  // the level the user set last
    QString currentpath;
    std::unique_ptr<AudioSystem> system;
    std::unique_ptr<AudioStream> sound;  // released before `system`
    AudioChannel channel;
    std::unique_ptr<QTimer> timer;  // lives on the creating thread
};

#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

#include "audio/audiochannel.h"

class QTimer;

namespace zuna {

class AudioStream;
class AudioSystem;

// What the engine tells beyond Tick, AbouthFinish, Finish and IsMuted, on an object of its
// own so that the engine's signals and slots stay as the window has always known them. It
// lives on the engine's thread; its signals reach other threads queued.
//
// Each report carries the generation it belongs to: the number of Playfile and Stop requests
// the engine had taken when it made the report. A listener that counts the requests it has
// sent knows a report with a lower number for one made before the engine heard the latest:
// it tells of a track no longer asked for.
class EngineReports : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    enum class Playback { Stopped, Playing, Paused };
    Q_ENUM(Playback)

signals:
    // The file at `path`, asked for by Playfile, could not be opened or played: it is no
    // audio, or gone, or damaged from its first frame. The engine is idle.
    void Unplayable(quint64 generation, QString path);
    // Whether a track plays, is paused, or none is playing: each time that changes, and once
    // for every Playfile and Stop taken, changed or not.
    void PlaybackChanged(quint64 generation, EngineReports::Playback playback);
    // Position goes out just before each Tick, with the same position, and Ended just before
    // Finish: queued to one thread they arrive first, so that a slot of Tick or Finish can
    // tell from them whether what it got is stale.
    void Position(quint64 generation, uint position);
    void Ended(quint64 generation);
};

}  // namespace zuna

// The playback engine. It plays one file at a time through its own AudioSystem and reports
// the position (once a second), the near end and the end of the track (as soon as its last
// sample has been heard). It is created on the GUI thread and then moved to a worker
// thread; its slots run there, one at a time, reached through queued connections. Volume
// and mute are the user's settings: they hold across tracks, stops and the end of a track.
//
// Queuefile() names the file that is to follow: the engine opens it ahead, and when its
// format is that of the track playing the channel goes on into it without a gap. The end of
// the track is reported as usual, and the track the channel went on into plays on,
// provisionally: the Playfile() for its path that the window sends in answer confirms it;
// anything else the window asks for instead (another file, another Queuefile, a Stop) ends
// it at once.
class ZUNAAudio : public QObject {
    Q_OBJECT

public:
    explicit ZUNAAudio(QObject *parent = nullptr);
    // Plays through `audioSystem`. The monitor timer fires every `monitorPeriodMs` ms; with 0
    // there is no timer and Timeout() runs only when invoked (tests and benchmarks do so).
    ZUNAAudio(std::unique_ptr<zuna::AudioSystem> audioSystem, int monitorPeriodMs,
              QObject *parent = nullptr);
    ~ZUNAAudio() override;

    // Safe to call from any thread: one hundredth of the track length in ms.
    quint32 Getstep() const { return step.load(); }
    // Safe to call from any thread: the volume (0.0-1.0) in force before the last mute.
    float Getvolume() const { return savedvolume.load(); }

    zuna::EngineReports *reports() const { return extra; }

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
    // The file to play after the one playing (none for an empty path), until the next
    // Playfile; it replaces what was named before.
    void Queuefile(QString path);
    // Seeks to `ms` milliseconds into the track, where Setprogress seeks by hundredths.
    void Setposition(uint ms);

private:
    enum class State {
        Idle,  // nothing plays: none started yet, stopped, ended, or it could not play
        // A Playfile has been taken; its file is opened and played once the requests that
        // were already waiting have been taken, unless a Playfile or Stop among them has made
        // it stale. `sound` holds the file when it was opened ahead.
        Starting,
        Playing,  // `sound` plays, or is paused, as the window's last Playfile asked
        // `sound` has ended and the channel went on into the upcoming track, which the
        // listener hears now; the window's Playfile for it is awaited
        Joined,
    };
    // The file named to follow, opened ahead.
    struct Upcoming {
        QString path;
        std::unique_ptr<zuna::AudioStream> stream;  // none when it could not be opened
        bool queued = false;  // the channel holds it, to go on into it when `sound` ends
        bool ended = false;   // joined, and heard to its end too before its Playfile came
    };

    // What was asked of a track while it was Starting, done as it starts.
    struct Pending {
        bool paused = false;
        int progress = -1;       // a Setprogress
        qint64 positionms = -1;  // a Setposition
    };

    void announce(const QString &path);
    void begin();
    void confirmJoin(const QString &path);
    void trackHeard(quint64 fromChannel);
    void finishTrack();
    void stopAll();
    bool hearsSound() const;
    void reportPlayback();
    void prepareNext();
    void dropUpcoming();

    // Every Playfile and every Stop taken adds one, whatever it then does (the one that
    // confirms a join, a Stop while idle): the window counts what it sends the same way.
    quint64 generation = 0;
    zuna::EngineReports::Playback playback =
        zuna::EngineReports::Playback::Stopped;  // as last reported
    quint64 reportedgeneration = 0;              // and for which generation
    // Every channel started adds one; the channel's word of an end carries its number, so
    // that word from a channel since replaced is known for stale.
    quint64 channelserial = 0;

    quint32 length = 0;        // of the open track, ms
    quint32 lastposition = 0;  // carried by the last Tick
    std::atomic<quint32> step{0};
    State state = State::Idle;
    bool paused = false;
    bool muted = false;
    std::atomic<float> savedvolume{1.0f};
    float volume = 1.0f;  // the level the user set last
    QString currentpath;  // the path of the last Playfile
    QString queuedpath;   // what is to follow, as the window last said
    std::unique_ptr<zuna::AudioSystem> system;
    std::unique_ptr<zuna::AudioStream> sound;  // the track asked for last; none once it ended
    Upcoming upcoming;
    Pending pending;
    zuna::AudioChannel channel;
    QObject *ends;                  // a child that takes the channel's word of each end in
    zuna::EngineReports *extra;     // a child: it moves to the engine's thread along
    std::unique_ptr<QTimer> timer;  // lives on the creating thread
};

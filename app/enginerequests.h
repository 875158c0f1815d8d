#pragma once

#include <QObject>
#include <QString>

namespace zuna {

// The player's requests to the engine beyond the connections the window has always had, sent
// the same way: as signals that reach the engine's thread queued, in order with the others.
class EngineRequests : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void Queuefile(QString path);  // what the end of the track would start next
    void Setprogress(int value);   // a click on the progress groove, the wheel, a key
    void Setposition(uint ms);     // a seek to the millisecond, from the desktop's controls
    void Play();                   // as the play button, from the desktop's controls
    void Pause();                  // as the pause button, from the desktop's controls
    void Stop();  // from the desktop's controls, or a closed playlist held the playing entry
};

}  // namespace zuna

#pragma once

#include <QObject>
#include <QString>

// The window's requests to the engine beyond the connections it has always had, sent the
// same way: as signals that reach the engine's thread queued, in order with the others.
class EngineRequests : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void Queuefile(QString path);  // what TrackFinish would start next
    void Setprogress(int value);   // a click on the progress groove, the wheel, a key
    void Setposition(uint ms);     // a seek to the millisecond, from the desktop's controls
    void Stop();                   // a closed playlist held the playing entry
    // Comes back as Handled once the engine has handled everything asked before it.
    void Fence();
    void Handled();
};

#pragma once

#include <QList>
#include <QObject>
#include <QVariant>

// Records a signal as QSignalSpy does, one list of arguments per emission, but on the thread
// that made the recorder: an object on another thread (the engine) may emit while the test
// reads, and its emissions come in queued, whenever this thread takes in its events
// (EngineHarness::run and WindowRig::sync do).
class Heard : public QObject, public QList<QVariantList> {
public:
    template <typename Sender, typename... Args>
    Heard(Sender *sender, void (Sender::*signal)(Args...))
    {
        connect(
            sender, signal, this,
            [this](Args... args) { append(QVariantList{QVariant::fromValue(args)...}); },
            Qt::QueuedConnection);
    }
};

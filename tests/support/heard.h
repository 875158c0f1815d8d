#pragma once

#include <QList>
#include <QObject>
#include <QVariant>

namespace zuna {

// Records a signal as QSignalSpy does, but queued to the thread that made it: the engine may
// emit on its own thread while the test reads. Emissions come in as this thread takes events.
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

}  // namespace zuna

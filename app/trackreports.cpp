#include "app/trackreports.h"

namespace zuna {

TrackReports::TrackReports(const EngineReports *engine, QObject *parent) : QObject(parent)
{
    connect(engine, &EngineReports::PlaybackChanged, this,
            [this](quint64 generation, EngineReports::Playback playback) {
                if (take(generation))
                    emit playbackChanged(playback);
            });
    connect(engine, &EngineReports::Position, this, [this](quint64 generation, uint ms) {
        if (take(generation))
            emit positionHeard(ms);
    });
    connect(engine, &EngineReports::Unplayable, this,
            [this](quint64 generation, const QString &path) {
                if (take(generation))
                    emit unplayable(path);
            });
    connect(engine, &EngineReports::Ended, this, &TrackReports::take);
}

void TrackReports::requested()
{
    ++sent;
}

bool TrackReports::take(quint64 generation)
{
    heard = generation;
    return !stale();
}

}  // namespace zuna

#include "app/mprisservice.h"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDebug>
#include <QUrl>

#include "app/trackreports.h"
#include "app/transport.h"
#include "app/visibleplaylist.h"

namespace zuna {

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const char kMimeTypes[] =
    "audio/mpeg;audio/flac;audio/x-flac;audio/ogg;audio/x-vorbis+ogg;audio/x-flac+ogg;"
    "audio/x-opus+ogg;audio/mp4;audio/x-m4a;audio/x-m4b;audio/aac;audio/x-wav;audio/x-aiff;"
    "audio/x-aifc;audio/x-wavpack;audio/x-ape;audio/mp2;audio/x-mod;audio/x-s3m;audio/x-xm;"
    "audio/x-it;audio/webm;";
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// Answers a call with the refusal, if there is one (Qt answers it with success otherwise).
void answer(const QDBusMessage &call, const MprisService::Refusal &refusal)
{
    if (refusal.name.isEmpty())
        return;
    call.setDelayedReply(true);
    QDBusConnection::sessionBus().send(call.createErrorReply(refusal.name, refusal.message));
}

class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

public:
    explicit RootAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), mpris(service) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("ZUNA"); }
    QString desktopEntry() const { return QGuiApplication::desktopFileName(); }
    QStringList schemes() const { return {QStringLiteral("file")}; }
    QStringList mimeTypes() const
    {
        // As the launcher entry (MimeType) lists them: every kind that plays.
        return QString::fromLatin1(kMimeTypes).split(u';', Qt::SkipEmptyParts);
    }

public slots:
    void Raise() { mpris->raise(); }
    void Quit() { mpris->quit(); }

private:
    MprisService *const mpris;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit PlayerAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), mpris(service)
    {
        connect(service, &MprisService::Seeked, this, &PlayerAdaptor::Seeked);
    }
    QString playbackStatus() const { return mpris->playbackStatus(); }
    double rate() const { return 1.0; }  // played as recorded, always
    void setRate(double) {}
    QVariantMap metadata() const { return mpris->metadata(); }
    double volume() const { return mpris->volume(); }
    void setVolume(double volume) { mpris->setVolume(volume); }
    qlonglong position() const { return mpris->position(); }
    bool canGoNext() const { return mpris->canGoNext(); }
    bool canGoPrevious() const { return mpris->canGoPrevious(); }
    bool canPlay() const { return mpris->canPlay(); }
    bool canSeek() const { return mpris->canSeek(); }
    bool canControl() const { return true; }

public slots:
    void Play() { mpris->play(); }
    void Pause() { mpris->pause(); }
    void PlayPause() { mpris->playPause(); }
    void Stop() { mpris->stop(); }
    void Next() { mpris->next(); }
    void Previous() { mpris->previous(); }
    void Seek(qlonglong offset) { mpris->seek(offset); }
    void SetPosition(const QDBusObjectPath &track, qlonglong position)
    {
        mpris->setPosition(track, position);
    }
    void OpenUri(const QString &uri, const QDBusMessage &call)
    {
        answer(call, mpris->openUri(uri));
    }

signals:
    void Seeked(qlonglong position);

private:
    MprisService *const mpris;
};

// What a second launch of the player hands the running one: its files.
class HandoffAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.zuna.Zuna")

public:
    explicit HandoffAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), mpris(service)
    {
    }

public slots:
    // Returns the paths that could not be opened.
    QStringList Open(const QStringList &paths, const QDBusMessage &call)
    {
        QStringList notOpened;
        const MprisService::Refusal refusal = mpris->openFiles(paths, &notOpened);
        answer(call, refusal);
        if (refusal.name.isEmpty())
            mpris->raise();  // as a file manager's Open With would show the player
        return notOpened;
    }

private:
    MprisService *const mpris;
};
}  // namespace

const QString MprisService::kBusName = QStringLiteral("org.mpris.MediaPlayer2.zuna");

MprisService::MprisService(Transport *player, VisiblePlaylist *shown, QObject *parent)
    : QObject(parent), transport(player), visible(shown)
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    new HandoffAdaptor(this);
    const TrackReports *reports = transport->reports();
    connect(reports, &TrackReports::playbackChanged, this, &MprisService::playbackChanged);
    connect(reports, &TrackReports::positionHeard, this, &MprisService::heard);
    connect(transport, &Transport::started, this, &MprisService::trackStarted);
    // What is next or previous may change with the rows around the current entry.
    connect(transport, &Transport::neighboursChanged, this, &MprisService::refresh);
    connect(transport, &Transport::volumeChanged, this, &MprisService::refresh);
    // Whether there is a row for Play to start.
    connect(transport, &Transport::entryChanged, this, &MprisService::refresh);
    if (visible)
        connect(visible, &VisiblePlaylist::rowsChanged, this, &MprisService::refresh);
    track.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
}

bool MprisService::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qDebug() << "No session bus: no media keys or desktop media controls";
        return false;
    }
    bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors);
    // A second player takes a name of its own, as MPRIS allows, rather than the first one's.
    const QString &name = kBusName;
    QDBusConnectionInterface *names = bus.interface();
    const auto taken = [names](const QString &wanted) {
        return names
                   ->registerService(wanted, QDBusConnectionInterface::DontQueueService,
                                     QDBusConnectionInterface::DontAllowReplacement)
                   .value() == QDBusConnectionInterface::ServiceRegistered;
    };
    return taken(name) || taken(name + QStringLiteral(".instance") +
                                QString::number(QApplication::applicationPid()));
}

void MprisService::raise()
{
    emit raiseRequested();
}

void MprisService::quit()
{
    emit quitRequested();  // the window closes as with its own close button
}

void MprisService::play()
{
    // With nothing current, a row of the visible playlist: the one chosen, else the first.
    const bool idle = playback == EngineReports::Playback::Stopped && transport->row() < 0;
    if (!idle || !visible || !visible->startChosenRow())
        transport->play();
}

void MprisService::pause()
{
    transport->pause();
}

void MprisService::playPause()
{
    if (playback == EngineReports::Playback::Playing)
        transport->pause();
    else
        play();
}

void MprisService::stop()
{
    transport->stop();
}

void MprisService::next()
{
    transport->next();
}

void MprisService::previous()
{
    transport->previous();
}

void MprisService::seek(qlonglong offsetUs)
{
    const qlonglong target = position() / 1000 + offsetUs / 1000;
    if (target >= lengthMs)
        next();  // past the end: as if the track had ended
    else
        seekTo(qMax<qlonglong>(0, target));
}

void MprisService::setPosition(const QDBusObjectPath &trackId, qlonglong positionUs)
{
    const QString current =
        track.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    if (trackId.path() == current && positionUs >= 0 && positionUs / 1000 <= lengthMs)
        seekTo(positionUs / 1000);
}

void MprisService::seekTo(qlonglong positionMs)
{
    if (!canSeek())
        return;
    transport->seek(quint32(positionMs));
    knownMs = positionMs;
    since.restart();
    emit Seeked(positionMs * 1000);
}

MprisService::Refusal MprisService::openUri(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isLocalFile())
        return {QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                QStringLiteral("Only local files are opened: %1").arg(uri)};
    QStringList notOpened;
    return openFiles({url.toLocalFile()}, &notOpened);
}

MprisService::Refusal MprisService::openFiles(const QStringList &paths, QStringList *notOpened)
{
    const VisiblePlaylist::Opened opened =
        visible ? visible->open(paths) : VisiblePlaylist::Opened();
    *notOpened = opened.missing + opened.unplayable;
    if (opened.played)
        return {};
    if (!opened.missing.isEmpty())
        return {QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"),
                QStringLiteral("No such file: %1").arg(opened.missing.join(QStringLiteral(", ")))};
    return {QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
            QStringLiteral("Nothing to play in: %1").arg(notOpened->join(QStringLiteral(", ")))};
}

QString MprisService::playbackStatus() const
{
    switch (playback) {
        case EngineReports::Playback::Playing:
            return QStringLiteral("Playing");
        case EngineReports::Playback::Paused:
            return QStringLiteral("Paused");
        case EngineReports::Playback::Stopped:
            break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const
{
    return track;
}

qlonglong MprisService::position() const
{
    const bool running = playback == EngineReports::Playback::Playing;
    return qMin(lengthMs, knownMs + (running ? since.elapsed() : 0)) * 1000;
}

double MprisService::volume() const
{
    return transport->volume() / 100.0;
}

void MprisService::setVolume(double volume)
{
    transport->requestVolume(qRound(qBound(0.0, volume, 1.0) * 100.0));
}

bool MprisService::canGoNext() const
{
    return transport->canGoNext();
}

bool MprisService::canGoPrevious() const
{
    return transport->canGoPrevious();
}

bool MprisService::canPlay() const
{
    // Play starts the current entry again, or else a row of the visible playlist.
    return playback != EngineReports::Playback::Stopped || transport->row() >= 0 ||
           (visible && visible->hasRows());
}

bool MprisService::canSeek() const
{
    return playback != EngineReports::Playback::Stopped && lengthMs > 0;
}

void MprisService::trackStarted(const QString &path, const TrackMetadata &read)
{
    if (path.isEmpty())
        return;  // nothing was played
    lengthMs = read.value(QStringLiteral("LENGTH")).toLongLong();
    track = {
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(
             QDBusObjectPath(QStringLiteral("/io/github/zuna/Zuna/track/%1").arg(++started)))},
        {QStringLiteral("mpris:length"), lengthMs * 1000},
        {QStringLiteral("xesam:url"), QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded())},
    };
    // A tag the file lacks is left out, for the desktop to show the file's name instead of
    // the row's placeholder.
    const auto tag = [&read](const char *key) {
        const QString text = read.value(QString::fromLatin1(key));
        return text == QStringLiteral("Unknow") ? QString() : text;
    };
    if (const QString title = tag("TITLE"); !title.isEmpty())
        track.insert(QStringLiteral("xesam:title"), title);
    if (const QString artist = tag("ARTIST"); !artist.isEmpty())
        track.insert(QStringLiteral("xesam:artist"), QStringList(artist));
    if (const QString album = tag("ALBUM"); !album.isEmpty())
        track.insert(QStringLiteral("xesam:album"), album);
    knownMs = 0;
    since.restart();
    refresh();
}

void MprisService::heard(uint positionMs)
{
    knownMs = positionMs;
    since.restart();
}

void MprisService::playbackChanged(EngineReports::Playback now)
{
    // Where it stood when it paused, or began again; a track stopped, or started again by
    // Play after a stop, is at its start.
    const bool fromTheStart =
        now == EngineReports::Playback::Stopped || playback == EngineReports::Playback::Stopped;
    knownMs = fromTheStart ? 0 : position() / 1000;
    since.restart();
    playback = now;
    refresh();
}

void MprisService::refresh()
{
    // What a client sees changes with the playback, the track, the volume and the rows
    // around the current entry: each change goes out once, as MPRIS asks.
    const QVariantMap now = {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), track},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanGoNext"), canGoNext()},
        {QStringLiteral("CanGoPrevious"), canGoPrevious()},
        {QStringLiteral("CanPlay"), canPlay()},
        {QStringLiteral("CanPause"), canPlay()},
        {QStringLiteral("CanSeek"), canSeek()},
    };
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayer << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "mprisservice.moc"

}  // namespace zuna

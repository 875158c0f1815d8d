#include "app/mainwindow.h"

#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QThread>

#include "app/accessiblecontrols.h"
#include "app/enginerequests.h"
#include "app/mprisservice.h"
#include "app/trackreports.h"
#include "app/transport.h"
#include "app/viewrows.h"
#include "app/visibleplaylist.h"
#include "app/windowkeys.h"
#include "audio/engine/zunaaudio.h"
#include "playlist/zunalistview.h"
#include "ui_mainwindow.h"

using namespace zuna;

namespace {
// A click on the progress groove puts the handle where it was clicked, rather than a page
// further along, so that the position asked for is the one seen.
class JumpToClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};
}  // namespace

MainWindow::MainWindow(QWidget *parent) : MainWindow([] { return new ZUNAAudio; }, parent) {}

MainWindow::MainWindow(const std::function<ZUNAAudio *()> &makeEngine, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui_MainWindow),
      thread(nullptr),
      audio(nullptr),
      requests(new EngineRequests(this)),
      reports(nullptr),
      transport(nullptr),
      visible(nullptr)
{
    ui->setupUi(this);
    playlistcount = 0;

    // The worker runs before the engine exists; the engine is built here, with its timer,
    // and then handed to the worker, so every engine slot runs there.
    thread = new QThread;
    thread->start(QThread::InheritPriority);
    audio = makeEngine();
    audio->moveToThread(thread);

    connect(this, &MainWindow::Playfile, audio, &ZUNAAudio::Playfile);
    connect(ui->playbutton, &QPushButton::released, audio, &ZUNAAudio::Play);
    connect(ui->pausebutton, &QPushButton::released, audio, &ZUNAAudio::Pause);
    connect(ui->stopbutton, &QPushButton::released, audio, &ZUNAAudio::Stop);
    connect(ui->mutebutton, &QPushButton::released, audio, &ZUNAAudio::Mute);
    connect(ui->addplaylistbutton, &QPushButton::released, this, &MainWindow::Addplaylist);
    connect(ui->addtrackbutton, &QPushButton::released, this, &MainWindow::AddTrack);
    connect(ui->deltrackbutton, &QPushButton::released, this, &MainWindow::DeleteTrack);
    connect(ui->playliststab, &QTabWidget::tabCloseRequested, this, &MainWindow::TabClose);
    // valueChanged, not sliderMoved: the slider's moves on mute and unmute must reach the
    // engine too.
    connect(ui->volumeslider, &QSlider::valueChanged, audio, &ZUNAAudio::Setvolume);
    // sliderMoved only: the position display moves this slider with setValue(), which
    // must never seek.
    connect(ui->progresslider, &QSlider::sliderMoved, audio, &ZUNAAudio::Setprogress);
    connect(ui->nextbutton, &QPushButton::released, this, &MainWindow::NextTrack);
    connect(ui->prevbutton, &QPushButton::released, this, &MainWindow::PrevTrack);
    connect(audio, &ZUNAAudio::Tick, this, &MainWindow::Tick);
    connect(audio, &ZUNAAudio::IsMuted, this, &MainWindow::SetMute);
    connect(audio, &ZUNAAudio::Finish, this, &MainWindow::TrackFinish);

    // Beyond the wiring above: the further requests to the engine, and seeks from clicks and
    // keys on the progress slider (drags seek through sliderMoved).
    connect(requests, &EngineRequests::Queuefile, audio, &ZUNAAudio::Queuefile);
    connect(requests, &EngineRequests::Setprogress, audio, &ZUNAAudio::Setprogress);
    connect(requests, &EngineRequests::Setposition, audio, &ZUNAAudio::Setposition);
    connect(requests, &EngineRequests::Play, audio, &ZUNAAudio::Play);
    connect(requests, &EngineRequests::Pause, audio, &ZUNAAudio::Pause);
    connect(requests, &EngineRequests::Stop, audio, &ZUNAAudio::Stop);
    // Every way a Playfile or a Stop reaches the engine is counted as it goes, so that the
    // engine's reports from before it are known for stale when they come in.
    reports = new TrackReports(audio->reports(), this);
    connect(this, &MainWindow::Playfile, reports, &TrackReports::requested);
    connect(ui->stopbutton, &QPushButton::released, reports, &TrackReports::requested);
    connect(requests, &EngineRequests::Stop, reports, &TrackReports::requested);
    // What plays: the window's slots drive the transport and follow it.
    transport = new Transport(requests, reports, this);
    connect(transport, &Transport::entryChanged, this, &MainWindow::followEntry);
    connect(transport, &Transport::started, this, [this] { PlayItem(currentitem); });
    // The volume asked for elsewhere goes through the slider, as if the user had moved it.
    transport->setVolume(ui->volumeslider->value());
    connect(transport, &Transport::volumeRequested, ui->volumeslider, &QSlider::setValue);
    connect(ui->volumeslider, &QSlider::valueChanged, transport, &Transport::setVolume);
    auto *jumpToClick = new JumpToClickStyle;
    jumpToClick->setParent(ui->progresslider);
    ui->progresslider->setStyle(jumpToClick);
    connect(ui->progresslider, &QAbstractSlider::actionTriggered, this, &MainWindow::seekToHandle);

    // Titles and artists come from files: shown as they are, never read as markup.
    ui->tracklabel->setTextFormat(Qt::PlainText);
    ui->artistlabel->setTextFormat(Qt::PlainText);
    describeControls(ui);

    new WindowKeys(this, ui);  // a child
    visible = new VisiblePlaylist(ui->playliststab, transport, this);

    addPlaylistView(tr("Default"));
    ui->playliststab->currentWidget()->setFocus();  // the keyboard starts on the music
}

MainWindow::~MainWindow()
{
    // Nothing follows the playlists while they go.
    delete mpris;
    delete visible;
    delete transport;
    // Let the engine finish what it is doing, then release it on this thread: that closes
    // the sound device before the process ends.
    thread->quit();
    thread->wait();
    delete audio;
    delete thread;
    delete ui;
}

void MainWindow::offerMediaControls()
{
    if (mpris)
        return;
    mpris = new MprisService(transport, visible, this);
    connect(mpris, &MprisService::raiseRequested, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(mpris, &MprisService::quitRequested, this, &QWidget::close);
    mpris->publish();
}

void MainWindow::openFiles(const QStringList &paths)
{
    visible->open(paths);
}

void MainWindow::addPlaylistView(const QString &name)
{
    auto *view = new ZUNAListView(playlistcount);
    playlistcount += 1;
    new ViewRows(view);  // a child of the view: the transport's way to its rows
    connect(view, &QListWidget::itemDoubleClicked, this, &MainWindow::ItemDoubleClicked);
    connect(view, &ZUNAListView::DeletePressed, this, &MainWindow::DeleteTrack);
    connect(view, &ZUNAListView::PausePressed, audio, &ZUNAAudio::Pause);
    // A tab's text is plain text too, but for "&", which would mark a shortcut letter.
    ui->playliststab->addTab(view, QString(name).replace(u'&', QStringLiteral("&&")));
}

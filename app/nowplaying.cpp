// The now-playing display of MainWindow: the track started, elapsed time, progress and the
// mute state.

#include <QLabel>
#include <QSlider>

#include "app/enginerequests.h"
#include "app/mainwindow.h"
#include "app/trackreports.h"
#include "audio/engine/zunaaudio.h"
#include "metadata/timetext.h"
#include "ui_mainwindow.h"

using namespace zuna;

void MainWindow::ShowTrack(const TrackMetadata &metadata)
{
    ui->totaltimelabel->setText(timeText(metadata.value(QStringLiteral("LENGTH")).toLongLong()));
    ui->tracklabel->setText(metadata.value(QStringLiteral("TITLE")));
    ui->artistlabel->setText(metadata.value(QStringLiteral("ARTIST")));
    // A new track starts at its start, whatever the last one had reached.
    ui->currenttimelabel->setText(timeText(0));
    ui->progresslider->setValue(0);
    // Closing a playlist disables seeking until something plays again.
    ui->progresslider->setEnabled(true);
}

void MainWindow::Tick(uint position)
{
    if (reports->stale())
        return;  // sent before a new track or a stop the window has shown already
    ui->currenttimelabel->setText(timeText(position));
    // While the user holds the handle it stays theirs: QSlider reports a setValue() during
    // a drag as sliderMoved, which would seek back to this (older, whole-percent) position.
    if (ui->progresslider->isSliderDown())
        return;
    // The step is a hundredth of the track, so this is the elapsed percentage; a track
    // under 100 ms has no step and stays at 0.
    const quint32 step = audio->Getstep();
    ui->progresslider->setValue(step == 0 ? 0 : int(qint64(qint32(position)) / qint64(step)));
}

void MainWindow::SetMute(bool muted)
{
    // Enabled state first, then the value: the value reaches the engine as Setvolume.
    if (muted) {
        ui->volumeslider->setEnabled(false);
        ui->volumeslider->setValue(0);
        return;
    }
    ui->volumeslider->setEnabled(true);
    // Rounded: the saved level is a float, and truncating it would lose a step with each
    // mute and unmute (0.57f is 0.569999993).
    ui->volumeslider->setValue(qRound(double(audio->Getvolume()) * 100.0));
}

void MainWindow::seekToHandle(int action)
{
    // A drag seeks through sliderMoved as it goes; a click on the groove, the wheel or a
    // key moves the handle without it, and the sound follows from here.
    if (action == QAbstractSlider::SliderNoAction ||
        (action == QAbstractSlider::SliderMove && ui->progresslider->isSliderDown()))
        return;
    emit requests->Setprogress(ui->progresslider->sliderPosition());
}

void MainWindow::ClearMetadata()
{
    ui->tracklabel->setText(QString());
    ui->artistlabel->setText(tr("No track opened now"));
    ui->currenttimelabel->setText(timeText(0));
    ui->progresslider->setValue(0);
    ui->progresslider->setEnabled(false);
}

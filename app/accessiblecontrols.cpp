#include "app/accessiblecontrols.h"

#include <QCoreApplication>
#include <QKeySequence>

#include "app/fittedlabel.h"
#include "ui_mainwindow.h"

namespace zuna {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// The name, what it does, and as a tooltip the name with the key that does the same.
void describe(QWidget *control, const char *name, const char *description,
              const QKeySequence &key = {})
{
    control->setAccessibleName(tr(name));
    control->setAccessibleDescription(tr(description));
    const QString keyText = key.toString(QKeySequence::NativeText);
    control->setToolTip(keyText.isEmpty() ? tr(name)
                                          : QStringLiteral("%1 (%2)").arg(tr(name), keyText));
}
}  // namespace

void describeControls(Ui_MainWindow *ui)
{
    describe(ui->settingsbutton, "Settings", "Has no settings yet");
    describe(ui->playbutton, "Play", "Plays the current track, or goes on after a pause");
    describe(ui->pausebutton, "Pause", "Pauses the current track; pressed again, goes on");
    describe(ui->prevbutton, "Previous", "Plays the track before the current one");
    describe(ui->nextbutton, "Next", "Plays the track after the current one");
    describe(ui->stopbutton, "Stop", "Stops the current track");
    describe(ui->mutebutton, "Mute", "Silences the sound; pressed again, brings it back");
    describe(ui->addtrackbutton, "Add files", "Adds music files to the visible playlist",
             QKeySequence(QKeySequence::Open));
    describe(ui->deltrackbutton, "Remove track",
             "Removes the selected track from the visible playlist", QKeySequence::Delete);
    describe(ui->addplaylistbutton, "New playlist", "Opens a new playlist under a name you give",
             QKeySequence(QKeySequence::AddTab));
    describe(ui->progresslider, "Progress",
             "How far the current track has played; moving it seeks");
    describe(ui->volumeslider, "Volume", "How loud the sound plays");
    describe(ui->playliststab, "Playlists", "The playlists; Ctrl+W closes the visible one",
             QKeySequence(QKeySequence::Close));

    // The labels keep their texts as names, so that each new text is announced.
    ui->artistlabel->setAccessibleDescription(tr("Artist of the current track"));
    ui->tracklabel->setAccessibleDescription(tr("Title of the current track"));
    ui->currenttimelabel->setAccessibleDescription(tr("Time played"));
    ui->totaltimelabel->setAccessibleDescription(tr("Length of the current track"));
    FittedLabel::fit(ui->artistlabel);
    FittedLabel::fit(ui->tracklabel);
}

}  // namespace zuna

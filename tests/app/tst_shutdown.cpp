// A player process playing through SDL's disk driver ends promptly and cleanly with code 0
// when its window closes, and ends on SIGTERM too.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fixtures.h"
#include "support/timescale.h"

using namespace Qt::StringLiterals;

class TestShutdown : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    const QString card = dir.filePath(u"card.raw"_s);  // what the sound card got

    // Starts a player on a 6 s track that closes its window after `closeAfterMs`.
    void start(QProcess &player, int closeAfterMs)
    {
        QFile::remove(card);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"SDL_AUDIODRIVER"_s, u"disk"_s);
        env.insert(u"SDL_DISKAUDIOFILE"_s, card);
        player.setProcessEnvironment(env);
        player.start(QStringLiteral(PLAYTHENCLOSE),
                     {fixturePath(u"long-6s-8k.flac"_s), QString::number(closeAfterMs)});
    }

private slots:
    void sigtermEndsAPlayingPlayer()
    {
        // Ctrl+C or a session ending sends SIGINT or SIGTERM; the sound library must not
        // swallow them once a track has started.
        QProcess player;
        start(player, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(card).size() > 0, scaledMs(10000));
        player.terminate();
        QVERIFY(player.waitForFinished(scaledMs(2000)));
        QCOMPARE(player.exitStatus(), QProcess::CrashExit);  // ended by the signal itself
    }

    void closingWhilePlayingExitsCleanly()
    {
        QProcess player;
        start(player, 700);
        QVERIFY(player.waitForFinished(scaledMs(5000)));  // promptly
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
        const QString errors = QString::fromLocal8Bit(player.readAllStandardError());
        QVERIFY2(!errors.contains(u"QThread"_s) && !errors.contains(u"Timers"_s),
                 qPrintable(errors));
        // The card was being fed when the window closed, and no more once it had.
        QVERIFY(QFileInfo(card).size() > 0 && QFileInfo(card).size() < 6 * 8000 * 4);
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"

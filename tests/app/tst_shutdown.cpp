// Closing the window while a track plays ends the process promptly, cleanly and with
// exit code 0, after the sound device has really been playing.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fixtures.h"

namespace {
QProcessEnvironment playerEnvironment(const QString &card)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
    env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), card);
    return env;
}
}  // namespace

class TestShutdown : public QObject {
    Q_OBJECT

private slots:
    void terminationRequestEndsAPlayingPlayer()
    {
        // Ctrl+C or a session ending sends SIGINT or SIGTERM; the sound library must not
        // swallow them once a track has started.
        QTemporaryDir dir;
        const QString card = dir.filePath(QStringLiteral("card.raw"));
        QProcess player;
        player.setProcessEnvironment(playerEnvironment(card));
        player.start(QStringLiteral(PLAYTHENCLOSE),
                     {fixturePath(QStringLiteral("long-6s-8k.flac")), QStringLiteral("20000")});
        QVERIFY(player.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(card).size() > 0, 10000);
        QElapsedTimer clock;
        clock.start();
        player.terminate();
        QVERIFY(player.waitForFinished(5000));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(player.exitStatus(), QProcess::CrashExit);  // ended by the signal itself
    }

    void closingWhilePlayingExitsCleanly()
    {
        QTemporaryDir dir;
        const QString card = dir.filePath(QStringLiteral("card.raw"));
        QProcess player;
        player.setProcessEnvironment(playerEnvironment(card));
        QElapsedTimer clock;
        clock.start();
        player.start(QStringLiteral(PLAYTHENCLOSE),
                     {fixturePath(QStringLiteral("long-6s-8k.flac")), QStringLiteral("700")});
        QVERIFY(player.waitForFinished(10000));
        const QString errors = QString::fromLocal8Bit(player.readAllStandardError());
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(!errors.contains(QStringLiteral("QThread")), qPrintable(errors));
        QVERIFY2(!errors.contains(QStringLiteral("Timers")), qPrintable(errors));
        // The card was being fed when the window closed, and no more once it had.
        QVERIFY(QFileInfo(card).size() > 0);
        QVERIFY(QFileInfo(card).size() < 6 * 8000 * 4);
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"

// The real output path: the engine playing through SDL2, with SDL's "disk" driver standing
// in for the sound card (it writes what the card would get to a file, faster than real
// time), and with no usable device at all.

#include <SDL2/SDL.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/audiosystem.h"
#include "support/engineharness.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

class TestSdlOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void noDeviceLeavesTheEngineIdle()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
        EngineHarness h(makeSdlOutputDriver());
        QSignalSpy finished(h.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        h.playfile(fixturePath(QStringLiteral("cbr-440.mp3")));
        h.timeout();
        h.run([](ZUNAAudio *e) {
            e->Pause();
            e->Mute();
            e->Setprogress(20);
        });
        h.timeout();
        QCOMPARE(finished.size(), 0);
        QCOMPARE(ticks.size(), 0);
    }

    void openingTouchesNoDevice()
    {
        useDiskDriver();
        AudioSystem system;
        std::unique_ptr<AudioStream> stream;
        QCOMPARE(system.openStream(
                     QFile::encodeName(fixturePath(QStringLiteral("cbr-440.mp3"))).toStdString(),
                     &stream),
                 AudioResult::Ok);
        stream->tagCount();
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
        AudioChannel channel;
        QCOMPARE(system.play(*stream, true, &channel), AudioResult::Ok);
        QVERIFY(SDL_WasInit(SDL_INIT_AUDIO) != 0);
    }

    void playsTheWholeTrackToTheCard()
    {
        const Fixture f = fixture(QStringLiteral("flac16-880.flac"));
        useDiskDriver();
        {
            EngineHarness h(makeSdlOutputDriver());
            QSignalSpy finished(h.engine(), &ZUNAAudio::Finish);
            QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
            h.playfile(fixturePath(f.file));
            QElapsedTimer clock;
            clock.start();
            while (finished.isEmpty() && clock.elapsed() < 10000) {
                QTest::qWait(10);
                h.timeout();
            }
            QCOMPARE(finished.size(), 1);
            QVERIFY(!ticks.isEmpty());
            for (qsizetype i = 1; i < ticks.size(); ++i)
                QVERIFY(ticks.at(i).at(0).toUInt() > ticks.at(i - 1).at(0).toUInt());
            QVERIFY(ticks.last().at(0).toUInt() <= 2000u);
        }
        QFile raw(dir.filePath(QStringLiteral("card.raw")));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        std::vector<float> card(size_t(bytes.size()) / sizeof(float));
        std::memcpy(card.data(), bytes.constData(), card.size() * sizeof(float));

        // The card got the tone, whole, between stretches of silence.
        const int channels = f.channels;
        const size_t frames = card.size() / size_t(channels);
        size_t first = frames;
        size_t last = 0;
        for (size_t i = 0; i < frames; ++i)
            if (card[i * size_t(channels)] != 0.0f) {
                first = std::min(first, i);
                last = i;
            }
        QVERIFY(first < last);
        QVERIFY2(qAbs(qint64(last - first + 1) - f.frames) <= 2,
                 qPrintable(QString::number(last - first + 1)));
        const ToneStats tone =
            analyseTone(sliceFrames(card, channels, first, last), channels, f.rate);
        QVERIFY(qAbs(tone.frequency - f.frequency) < 2);
        QVERIFY(qAbs(tone.peak - f.peak) < 0.01);
    }

private:
    // The card takes a 1024-frame buffer every 4 ms: five times real time at 44.1 kHz,
    // slow enough for the monitor to see the position move.
    void useDiskDriver()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath(QStringLiteral("card.raw"))));
        qputenv("SDL_DISKAUDIODELAY", "4");
    }

    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestSdlOutput)
#include "tst_sdloutput.moc"

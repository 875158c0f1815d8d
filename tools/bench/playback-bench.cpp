// playback-bench FILE [ROUNDS]: the CPU time the engine spends per second of audio while
// playing FILE to the end into a capture device (no sound card), pumped as fast as it
// goes. Prints the median over ROUNDS of milliseconds of CPU (user + system, all threads:
// the engine, its decoding feeder and the pulling "device") per second of audio.

#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/audiosystem.h"
#include "audio/engine/zunaaudio.h"
#include "support/captureoutput.h"

using namespace zuna;

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (argc < 2) {
        std::fprintf(stderr, "usage: playback-bench FILE [ROUNDS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    std::vector<double> perSecond;
    for (int round = 0; round < rounds; ++round) {
        auto driver = std::make_unique<CaptureDriver>();
        CaptureDriver *capture = driver.get();
        ZUNAAudio engine(std::make_unique<AudioSystem>(std::move(driver)), 0);
        const double before = cpuSeconds();
        engine.Playfile(path);
        // The engine opens the file once the requests sent before it have been taken.
        QCoreApplication::sendPostedEvents(&engine);
        int64_t frames = 0;
        for (size_t got; (got = capture->pump(8192)) > 0;) {
            frames += int64_t(got);
            capture->takeSamples();  // a sound card would have played them by now
        }
        const double cpu = cpuSeconds() - before;
        // Nothing played leaves no format either: the rate would be 0, the ratio no number.
        if (frames <= 0) {
            std::fprintf(stderr, "nothing played from %s\n", argv[1]);
            return 1;
        }
        const double audioSeconds = double(frames) / capture->format().rate;
        perSecond.push_back(cpu * 1000.0 / audioSeconds);
    }
    std::sort(perSecond.begin(), perSecond.end());
    std::printf("cpu_ms_per_audio_s=%.3f\n", perSecond[perSecond.size() / 2]);
    return 0;
}

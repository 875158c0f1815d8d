#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One audio fixture of tests/data as its manifest (fixtures.tsv, written by the script
// that made the files) describes it.
struct Fixture {
    QString file;
    QString type;  // "MP3", "FLAC" or "OTHER", by content
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;  // exact PCM frames a gapless decoder yields
    double frequency = 0;
    double peak = 0;
};

Q_DECLARE_METATYPE(Fixture)

QList<Fixture> loadFixtures();
Fixture fixture(const QString &file);
QString fixturePath(const QString &file);

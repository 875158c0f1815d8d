#pragma once

#include <QFile>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QTemporaryDir>

namespace zuna {

// One audio fixture of tests/data, as the manifest written with them (fixtures.tsv) says.
struct Fixture {
    QString file;
    QString type;  // "MP3", "FLAC" or "OTHER", by content
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;  // exact PCM frames a gapless decoder yields
    double frequency = 0;
    double peak = 0;
};

inline QString fixturePath(const QString &file)
{
    return QStringLiteral(ZUNA_TEST_DATA "/") + file;
}

// The whole of the file at `path`; empty when it cannot be read.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// `v` as four bytes, most significant first.
inline QByteArray be32(quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

// Writes `bytes` as the file `name` in `dir`; its path, or an empty one when it could not.
inline QString writeScratchFile(const QTemporaryDir &dir, const QString &name,
                                const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    return written ? file.fileName() : QString();
}

// A temporary folder of files a test makes, gone with it.
class ScratchDir {
public:
    // Writes `bytes` as the file `name` in it; its path, or an empty one when it could not.
    QString file(const QString &name, const QByteArray &bytes) const
    {
        return writeScratchFile(dir, name, bytes);
    }

private:
    QTemporaryDir dir;
};

inline QList<Fixture> loadFixtures()
{
    QFile manifest(fixturePath(QStringLiteral("fixtures.tsv")));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read the fixture manifest");
    QList<Fixture> fixtures;
    for (const QString &line : QString::fromUtf8(manifest.readAll()).split(u'\n').mid(1)) {
        const QStringList f = line.split(u'\t');
        if (f.size() >= 7)
            fixtures.append(Fixture{f[0], f[1], f[2].toInt(), f[3].toInt(), f[4].toLongLong(),
                                    f[5].toDouble(), f[6].toDouble()});
    }
    return fixtures;
}

inline Fixture fixture(const QString &file)
{
    for (const Fixture &f : loadFixtures())
        if (f.file == file)
            return f;
    qFatal("no such fixture: %s", qPrintable(file));
}

}  // namespace zuna

Q_DECLARE_METATYPE(zuna::Fixture)

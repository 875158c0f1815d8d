#include "support/fixtures.h"

#include <QFile>
#include <QTextStream>

QString fixturePath(const QString &file)
{
    return QStringLiteral(ZUNA_TEST_DATA "/") + file;
}

QList<Fixture> loadFixtures()
{
    QList<Fixture> fixtures;
    QFile manifest(fixturePath(QStringLiteral("fixtures.tsv")));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read the fixture manifest");
    QTextStream in(&manifest);
    in.readLine();  // header
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char('\t'));
        if (f.size() >= 7)
            fixtures.append(Fixture{f[0], f[1], f[2].toInt(), f[3].toInt(), f[4].toLongLong(),
                                    f[5].toDouble(), f[6].toDouble()});
    }
    return fixtures;
}

Fixture fixture(const QString &file)
{
    for (const Fixture &f : loadFixtures())
        if (f.file == file)
            return f;
    qFatal("no such fixture: %s", qPrintable(file));
}

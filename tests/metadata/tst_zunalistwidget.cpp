// The playlist entry: the length and size texts on the edge values of their inputs, the
// label tree with its styles and alignments, where the labels end up on screen, that it
// keeps path and map untouched, and that clicks on its labels reach the list under it.

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include "metadata/zunalistwidget.h"

namespace {
struct Labels {
    QLabel *title = nullptr;
    QLabel *artist = nullptr;
    QLabel *type = nullptr;
    QLabel *length = nullptr;
    QLabel *size = nullptr;
};

QLabel *labelAt(QLayoutItem *column, int index)
{
    QLayout *layout = column ? column->layout() : nullptr;
    QLayoutItem *item = layout ? layout->itemAt(index) : nullptr;
    return item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
}

// The labels where the row puts them: title and artist in the left column, type, length
// and size in the right one, with the spacer between. They exist once the entry is polished.
Labels labelsOf(const ZUNAListWidget &entry)
{
    entry.ensurePolished();
    QLayout *row = entry.layout();
    if (!row || row->count() != 3)
        return {};
    return {labelAt(row->itemAt(0), 0), labelAt(row->itemAt(0), 1), labelAt(row->itemAt(2), 0),
            labelAt(row->itemAt(2), 1), labelAt(row->itemAt(2), 2)};
}

// One row of lengthAndSizeTexts_data; a null value leaves the key out.
void textRow(const char *name, const char *key, const char *value, const char *text)
{
    QTest::newRow(name) << QString::fromLatin1(key)
                        << (value ? QString::fromLatin1(value) : QString())
                        << QString::fromLatin1(text);
}

TrackMetadata sample()
{
    return {{QStringLiteral("TITLE"), QStringLiteral("A Title")},
            {QStringLiteral("ARTIST"), QStringLiteral("An Artist")},
            {QStringLiteral("ALBUM"), QStringLiteral("An Album")},
            {QStringLiteral("LENGTH"), QStringLiteral("83456")},
            {QStringLiteral("TYPE"), QStringLiteral("FLAC")},
            {QStringLiteral("SIZE"), QStringLiteral("5000000")}};
}
}  // namespace

class TestZunaListWidget : public QObject {
    Q_OBJECT

private slots:
    void lengthAndSizeTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");  // null: the key is missing
        QTest::addColumn<QString>("text");
        const char *length = "LENGTH";
        textRow("length missing", length, nullptr, "00:00");
        textRow("length empty", length, "", "00:00");
        textRow("length not a number", length, "long", "00:00");
        textRow("under a second", length, "999", "00:00");
        textRow("fractions cut", length, "83456", "01:23");
        textRow("last second of a minute", length, "59999", "00:59");
        textRow("a minute", length, "60000", "01:00");
        textRow("last second under an hour", length, "3599999", "59:59");
        textRow("an hour", length, "3600000", "1:00:00");
        textRow("length past signed 32 bits", length, "4294967295", "1193:02:47");
        const char *size = "SIZE";
        textRow("size missing", size, nullptr, "0.0MB");
        textRow("size not a number", size, "big", "0.0MB");
        textRow("negative size", size, "-5000000", "0.0MB");
        textRow("1023 bytes", size, "1023", "0.0MB");
        textRow("99 KB and change", size, "102399", "0.0MB");
        textRow("100 KB", size, "102400", "0.1MB");
        textRow("999 KB", size, "1022976", "0.9MB");
        textRow("1023 KB and change, capped", size, "1048575", "0.9MB");
        textRow("1 MiB", size, "1048576", "1.0MB");
        textRow("1.5 MiB", size, "1572864", "1.5MB");
        textRow("5,000,000 bytes", size, "5000000", "4.7MB");
        textRow("a byte short of 3 MiB, capped", size, "3145727", "2.9MB");
        textRow("700 MiB", size, "734003200", "700.0MB");
        textRow("2 GiB", size, "2147483648", "2048.0MB");
        textRow("3 GiB and 500 KiB", size, "3221737472", "3072.5MB");
        textRow("4 GiB", size, "4294967296", "4096.0MB");
        textRow("a byte short of 5121 MiB, capped", size, "5369756671", "5120.9MB");
    }

    void lengthAndSizeTexts()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, text);
        TrackMetadata metadata;
        if (!value.isNull())
            metadata.insert(key, value);
        ZUNAListWidget entry(metadata, QStringLiteral("/a.mp3"));
        const Labels l = labelsOf(entry);
        QLabel *label = key == QLatin1String("LENGTH") ? l.length : l.size;
        QVERIFY(label);
        QCOMPARE(label->text(), text);
    }

    void textsStylesAndAlignments()
    {
        ZUNAListWidget entry(sample(), QStringLiteral("/a.flac"));
        const Labels l = labelsOf(entry);
        QVERIFY(l.title && l.artist && l.type && l.length && l.size);
        QCOMPARE(entry.findChildren<QLabel *>().size(), 5);

        QCOMPARE(l.title->text(), QStringLiteral("A Title"));
        QCOMPARE(l.artist->text(), QStringLiteral("An Artist"));
        QCOMPARE(l.type->text(), QStringLiteral("FLAC"));
        QCOMPARE(l.length->text(), QStringLiteral("01:23"));
        QCOMPARE(l.size->text(), QStringLiteral("4.7MB"));

        // Sizes and weights only; the family comes from the list, like everything else.
        const struct {
            QLabel *label;
            int pointSize;
            bool bold;
        } fonts[] = {{l.title, 11, true},
                     {l.artist, 9, false},
                     {l.type, 8, true},
                     {l.length, 8, false},
                     {l.size, 8, false}};
        for (const auto &f : fonts) {
            QCOMPARE(f.label->font().pointSize(), f.pointSize);
            QCOMPARE(f.label->font().bold(), f.bold);
            QCOMPARE(f.label->font().family(), entry.font().family());
        }

        const Qt::Alignment standard = QLabel().alignment();
        QCOMPARE(l.title->alignment(), standard);
        QCOMPARE(l.artist->alignment(), standard);
        QCOMPARE(l.type->alignment(), Qt::Alignment(Qt::AlignRight));
        QCOMPARE(l.length->alignment(), Qt::Alignment(Qt::AlignRight));
        QCOMPARE(l.size->alignment(), Qt::Alignment(Qt::AlignRight));

        auto *row = qobject_cast<QHBoxLayout *>(entry.layout());
        QVERIFY(row);
        QCOMPARE(row->spacing(), 0);
        QCOMPARE(row->contentsMargins(), QMargins(5, 5, 5, 5));
        QVERIFY(qobject_cast<QVBoxLayout *>(row->itemAt(0)->layout()));
        QCOMPARE(row->itemAt(0)->alignment(), Qt::Alignment(Qt::AlignLeft));
        QVERIFY(qobject_cast<QVBoxLayout *>(row->itemAt(2)->layout()));
        QCOMPARE(row->itemAt(2)->alignment(), Qt::Alignment(Qt::AlignRight));
        QSpacerItem *spacer = row->itemAt(1)->spacerItem();
        QVERIFY(spacer);
        QCOMPARE(spacer->sizeHint(), QSize(0, 0));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
    }

    void releasedLabelsComeBackTheSame()
    {
        ZUNAListWidget entry(sample(), QStringLiteral("/a.flac"));
        QVERIFY(!entry.layout());  // nothing built before it is polished
        const Labels before = labelsOf(entry);
        const QStringList texts = {before.title->text(), before.artist->text(), before.type->text(),
                                   before.length->text(), before.size->text()};
        entry.releaseLabels();
        QVERIFY(!entry.layout());
        QVERIFY(entry.findChildren<QLabel *>().isEmpty());
        entry.ensurePolished();  // once polished, only ensureLabels() builds them again
        QVERIFY(!entry.layout());
        entry.ensureLabels();
        const Labels after = labelsOf(entry);
        QVERIFY(after.title && after.size);
        QCOMPARE((QStringList{after.title->text(), after.artist->text(), after.type->text(),
                              after.length->text(), after.size->text()}),
                 texts);
        QCOMPARE(entry.findChildren<QLabel *>().size(), 5);
    }

    void missingKeysGiveEmptyLabels()
    {
        ZUNAListWidget entry(TrackMetadata(), QStringLiteral("/a.mp3"));
        const Labels l = labelsOf(entry);
        QVERIFY(l.title && l.artist && l.type);
        QVERIFY(l.title->text().isEmpty());
        QVERIFY(l.artist->text().isEmpty());
        QVERIFY(l.type->text().isEmpty());
    }

    void labelsOnScreen()
    {
        QWidget window;
        window.resize(400, 60);
        auto *entry = new ZUNAListWidget(sample(), QStringLiteral("/a.flac"), &window);
        entry->setGeometry(0, 0, 400, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Labels l = labelsOf(*entry);
        QVERIFY(l.title && l.artist && l.type && l.length && l.size);
        for (QLabel *label : {l.title, l.artist, l.type, l.length, l.size})
            QVERIFY(label->isVisible());

        // Left column: title above artist, against the left margin.
        QVERIFY(l.title->geometry().bottom() <= l.artist->geometry().top());
        QCOMPARE(l.title->x(), 5);
        QCOMPARE(l.artist->x(), 5);
        // Right column: type, length, size from top to bottom, against the right margin.
        QVERIFY(l.type->geometry().bottom() <= l.length->geometry().top());
        QVERIFY(l.length->geometry().bottom() <= l.size->geometry().top());
        for (QLabel *label : {l.type, l.length, l.size}) {
            QCOMPARE(label->geometry().right(), entry->width() - 1 - 5);
            QVERIFY(label->x() > l.title->geometry().right());
        }
        // The album is kept but not shown.
        for (QLabel *label : entry->findChildren<QLabel *>())
            QVERIFY(!label->text().contains(QStringLiteral("An Album")));
    }

    void keepsPathAndMapUnchanged_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("dot segments and double slash") << "/music/../music//a.mp3";
        QTest::newRow("relative") << "./b.flac";
        QTest::newRow("blanks around") << "  c .mp3 ";
        QTest::newRow("non-Latin") << QStringLiteral("/音楽/Тест 🎵.mp3");
        QTest::newRow("empty") << "";
    }

    void keepsPathAndMapUnchanged()
    {
        QFETCH(QString, path);
        TrackMetadata metadata = sample();
        metadata.insert(QStringLiteral("EXTRA"), QStringLiteral("kept too"));
        const ZUNAListWidget entry(metadata, path);
        QCOMPARE(entry.Getpath(), path);
        QCOMPARE(entry.Getmetadata(), metadata);
        QCOMPARE(entry.Getmetadata().value(QStringLiteral("ALBUM")), QStringLiteral("An Album"));
    }

    void clicksOnLabelsReachTheList_data()
    {
        QTest::addColumn<int>("label");
        QTest::newRow("title") << 0;
        QTest::newRow("artist") << 1;
        QTest::newRow("type") << 2;
        QTest::newRow("length") << 3;
        QTest::newRow("size") << 4;
    }

    void clicksOnLabelsReachTheList()
    {
        QFETCH(int, label);
        QListWidget list;
        list.resize(400, 200);
        for (int i = 0; i < 3; ++i) {
            auto *item = new QListWidgetItem(&list);
            item->setSizeHint(QSize(0, 40));
            list.setItemWidget(item, new ZUNAListWidget(sample(), QString::number(i)));
        }
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QListWidgetItem *target = list.item(1);
        auto *entry = qobject_cast<ZUNAListWidget *>(list.itemWidget(target));
        QVERIFY(entry);
        const Labels l = labelsOf(*entry);
        QLabel *const labels[] = {l.title, l.artist, l.type, l.length, l.size};
        QLabel *on = labels[label];
        QVERIFY(on && on->isVisible());

        QSignalSpy doubleClicked(&list, &QListWidget::itemDoubleClicked);
        QTest::mouseClick(on, Qt::LeftButton, {}, on->rect().center());
        QCOMPARE(list.currentItem(), target);
        QTest::mouseDClick(on, Qt::LeftButton, {}, on->rect().center());
        QCOMPARE(doubleClicked.count(), 1);
        QCOMPARE(doubleClicked.at(0).at(0).value<QListWidgetItem *>(), target);
    }
};

QTEST_MAIN(TestZunaListWidget)
#include "tst_zunalistwidget.moc"

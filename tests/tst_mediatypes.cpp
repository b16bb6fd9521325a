#include "model/mediatypes.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestMediaTypes : public QObject
{
    Q_OBJECT
private slots:
    void suffixes_data();
    void suffixes();
    void acceptedEntries();
};

void TestMediaTypes::suffixes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("type");
    QTest::addRow("video") << "movie.mp4"
                           << "video";
    QTest::addRow("audio") << "song.flac"
                           << "audio";
    QTest::addRow("presentation") << "slide.pptx"
                                  << "office";
    QTest::addRow("icon is a picture") << "icon.ico"
                                       << "picture";
    QTest::addRow("upper-case video") << "MOVIE.MP4"
                                      << "video";
    QTest::addRow("mixed-case picture") << "Photo.Jpg"
                                        << "picture";
    QTest::addRow("transport stream") << "clip.mts"
                                      << "video";
    QTest::addRow("real media") << "clip.rmvb"
                                << "video";
    QTest::addRow("real audio") << "clip.ra"
                                << "audio";
    QTest::addRow("two-letter suffix") << "x.4v"
                                       << "video";
    QTest::addRow("longer suffix is not a prefix match") << "x.f4v"
                                                         << "";
    QTest::addRow("only the last suffix counts") << "archive.tar.mp4"
                                                 << "video";
    QTest::addRow("text") << "notes.txt"
                          << "";
    QTest::addRow("no dot") << "readme"
                            << "";
    QTest::addRow("word document") << "data.doc"
                                   << "";
    QTest::addRow("dot in a folder name only") << "/media/clips.mp4/readme"
                                               << "";
    QTest::addRow("windows path") << "C:/Media/Show.AVI"
                                  << "video";
}

void TestMediaTypes::suffixes()
{
    QFETCH(QString, path);
    QFETCH(QString, type);
    QStringList types;
    if (isVideo(path))
        types << "video";
    if (isPicture(path))
        types << "picture";
    if (isAudio(path))
        types << "audio";
    if (isOffice(path))
        types << "office";
    QCOMPARE(types.join(QLatin1Char(',')), type);
}

void TestMediaTypes::acceptedEntries()
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) {
        return dir.filePath(QString::fromUtf8(name));
    };
    QDir().mkpath(path("Holiday.mp4"));
    QDir().mkpath(path("plain"));
    for (const char *name : {"a.mp4", "b.txt"})
        QFile(path(name)).open(QIODevice::WriteOnly);

    QVERIFY(isAcceptedEntry(QFileInfo(path("Holiday.mp4"))));
    QVERIFY(isAcceptedEntry(QFileInfo(path("plain"))));
    QVERIFY(isAcceptedEntry(QFileInfo(path("a.mp4"))));
    QVERIFY(!isAcceptedEntry(QFileInfo(path("b.txt"))));
    QVERIFY(!isAcceptedEntry(QFileInfo(path("missing.mp4"))));

    // Reading a pipe would block the GUI thread for ever.
    if (QProcess::execute("mkfifo", {path("pipe.mp4")}) != 0)
        QSKIP("no mkfifo here");
    QVERIFY(!isAcceptedEntry(QFileInfo(path("pipe.mp4"))));
}

QTEST_GUILESS_MAIN(TestMediaTypes)
#include "tst_mediatypes.moc"

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
    const auto row = [](const char *name, const char *path, const char *type) {
        QTest::addRow("%s", name) << QString(path) << QString(type);
    };
    row("video", "movie.mp4", "video");
    row("audio", "song.flac", "audio");
    row("presentation", "slide.pptx", "office");
    row("upper-case video", "MOVIE.MP4", "video");
    row("mixed-case picture", "Photo.Jpg", "picture");
    row("two-letter suffix", "x.4v", "video");
    row("longer suffix is not a prefix match", "x.f4v", "");
    row("only the last suffix counts", "archive.tar.mp4", "video");
    row("text", "notes.txt", "");
    row("no dot", "readme", "");
    row("word document", "data.doc", "");
    row("dot in a folder name only", "/media/clips.mp4/readme", "");
    row("windows path", "C:/Media/Show.AVI", "video");
    for (const auto &[type, suffixes] : {std::pair{"video", "webm mxf m2ts ogv mpe"},
                                         {"picture", "gif tif tiff webp"},
                                         {"audio", "m4a aac opus aif aiff"},
                                         {"office", "odp"}}) {
        for (const QString &suffix : QString(suffixes).split(' '))
            QTest::addRow("%s", qPrintable(suffix.toUpper())) << "x." + suffix.toUpper() << type;
    }
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

#include "model/foldermodel.h"
#include "probe/picturedecoder.h"
#include "probe/proberunner.h"
#include "probe/toolprocess.h"
#include "store/ui_proc_config_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QtEndian>
#include <QtTest>

static QByteArray encoded(const QImage &image, const char *format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

static QByteArray pictureBytes(const QSize &size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return encoded(image, format);
}

// A header field of four bytes in the file's byte order.
static QByteArray field32(quint32 value, bool bigEndian = false)
{
    QByteArray bytes(4, '\0');
    bigEndian ? qToBigEndian(value, bytes.data()) : qToLittleEndian(value, bytes.data());
    return bytes;
}

// A small 8-bit bitmap whose header declares size. Run-length coded, its data ends at once and
// leaves every pixel blank, as the format allows; uncompressed, it holds 4 pixels.
static QByteArray bitmapDeclaring(const QSize &size, bool runLength = false)
{
    QImage image(2, 2, QImage::Format_Indexed8);
    image.setColorTable(QVector<QRgb>(17, qRgb(0, 128, 128))); // over 16: 8 bits a pixel
    image.fill(0);
    QByteArray bmp = encoded(image, "BMP");
    bmp.replace(18, 4, field32(size.width())).replace(22, 4, field32(size.height()));
    if (runLength) {
        bmp.replace(30, 4, field32(1)); // 8-bit run-length coding
        bmp.truncate(qFromLittleEndian<quint32>(bmp.constData() + 10)); // where the data starts
        bmp += QByteArray("\0\1", 2); // end of bitmap
    }
    return bmp;
}

// A small PNG whose header declares size, its checksum made anew: only the data falls short.
static QByteArray pngDeclaring(const QSize &size)
{
    QByteArray png = pictureBytes({64, 48}, "PNG");
    png.replace(16, 4, field32(size.width(), true)).replace(20, 4, field32(size.height(), true));
    quint32 crc = ~0u;
    for (const char byte : png.mid(12, 17)) { // the header chunk's type and fields
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return png.replace(29, 4, field32(~crc, true));
}

static int makeMedia(const QString &path, const QString &arguments)
{
    const QString all = "-nostdin -loglevel error -y " + arguments;
    return QProcess::execute("ffmpeg", all.split(' ', Qt::SkipEmptyParts) << path);
}

// Executable files are stand-ins for tools: shell scripts.
static void writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// Answers like ffmpeg after a short random while, with a frame size and a length taken from
// the number in each input's name; a thumbnail run writes its pictures.
static const QByteArray kNumberedStandIn = R"(#!/bin/bash
sleep 0.0$((RANDOM % 3))
k=0
for arg; do
    if [ "$previous" = -i ]; then
        base=${arg%.*}; n=${base##*[!0-9]}
        printf "Input #$k, mov, from '%s':\n  Duration: 00:00:%02d.00, start: 0.000000\n" "$arg" "$n" >&2
        printf "    Stream #$k:0: Video: h264, yuv420p, %dx%d, 25 fps (default)\n" $((n + 16)) $((n + 9)) >&2
        k=$((k + 1))
    fi
    [ "$before" = -vframes ] && printf jpg > "$arg"
    before=$previous; previous=$arg
done
)";

// The inputs of each run, each with its seek point if it has one: "-ss 1 -i clip.mp4".
static QStringList inputsOf(const QList<QStringList> &runs, const QString &dir)
{
    QStringList inputs;
    for (const QStringList &run : runs) {
        const int end = run.lastIndexOf("-i") + 2;
        QStringList kept;
        for (int i = 0; i < end; i += 2) {
            if (run.at(i) != "-threads")
                kept << run.at(i) << QFileInfo(run.at(i + 1)).filePath().remove(dir + '/');
        }
        inputs << kept.join(' ');
    }
    return inputs;
}

// Every row below parent, depth first: its name and what the jobs learnt about it.
static QStringList learnt(FolderModel &model, const QModelIndex &parent = {})
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        const QVariantMap record = model.recordOf(int(child.internalId()));
        const QVariantMap info = record.value("info").toMap();
        rows << QStringList{child.data().toString(),
                            record.value("type").toString(),
                            record.value("isValid").toString(),
                            record.value("asyncCompleted").toString(),
                            info.value("frameWidth").toString(),
                            info.value("frameHeight").toString(),
                            info.value("timeLenMsec").toString(),
                            QString::number(record.value("img").toString().isEmpty())}
                        .join(' ')
             << learnt(model, child);
    }
    return rows;
}

class TestProbeRunner : public QObject
{
    Q_OBJECT

    inline static QTemporaryDir media; // made once by initTestCase

    // A folder with copies of the named media scanned by a model on its own project directory,
    // under Qt's model tester. Records the tool runs and counts the picture read steps.
    struct Scan : QObject
    {
        Scan(std::initializer_list<const char *> copies = {})
            : tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest)
        {
            for (const char *name : copies)
                QFile::copy(media.filePath(name), path(name));
            for (ToolProcess *tool : model.findChildren<ToolProcess *>())
                connect(tool, &ToolProcess::started, [this, tool] { runs << tool->arguments(); });
            runner()->installEventFilter(this);
        }
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Type(PictureReadChunk) && ++pictureSteps == 1 && atFirst)
                atFirst();
            if (event->type() == QEvent::MetaCall && atDecode) // a decode hands its result back
                std::exchange(atDecode, {})();
            return false;
        }
        QString path(const QString &name) const { return dir.filePath(name); }
        ProbeRunner *runner() { return model.findChild<ProbeRunner *>(); }
        bool add()
        {
            QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
            model.addFolder(dir.path());
            return ended.wait(30000);
        }
        QVariantMap record(const QString &name)
        {
            return model.recordOf(model.idOfKey(FolderModel::itemKey(path(name), 0)));
        }

        QTemporaryDir dir;
        ProjectDir project;
        FolderModel model{nullptr};
        QAbstractItemModelTester tester;
        QList<QStringList> runs;
        int pictureSteps = 0;
        std::function<void()> atFirst; // runs at the first picture read step
        std::function<void()> atDecode; // runs once, as a decoded picture comes back
    };

private slots:
    void initTestCase()
    {
        UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, 1); // runs in order
        const auto make = [](const char *name, const QString &arguments) {
            return makeMedia(media.filePath(name), arguments);
        };
        QCOMPARE(make("clip.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2"), 0);
        QCOMPARE(make("short.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=0.5"), 0);
        QCOMPARE(make("song.mp3", "-f lavfi -i sine=duration=1.5"), 0);
        QCOMPARE(make("voice.mp4", "-f lavfi -i sine=duration=1.5"), 0);
        QCOMPARE(make("voice.mov", "-f lavfi -i sine=duration=1.5"), 0);
        QCOMPARE(make("empty.mp4", "-f lavfi -i anullsrc -t 0"), 0);
        // A video stream that no packet fills, beside a sound: ffmpeg cannot tell its size.
        QCOMPARE(make("both.ts", "-f lavfi -i testsrc=duration=1 -f lavfi -i sine=duration=1 "
                                 "-c:a mp2"),
                 0);
        QFile both(media.filePath("both.ts")), sizeless(media.filePath("sizeless.mp4"));
        QVERIFY(both.open(QIODevice::ReadOnly) && sizeless.open(QIODevice::WriteOnly));
        constexpr int kPacket = 188, kVideoPid = 0x100;
        for (QByteArray packet; !(packet = both.read(kPacket)).isEmpty();) {
            if (((uchar(packet[1]) & 0x1f) << 8 | uchar(packet[2])) != kVideoPid)
                sizeless.write(packet);
        }
        QCOMPARE(make("two pictures.mkv", // the second, larger picture is the default
                      "-f lavfi -i testsrc=size=160x90:duration=2 -f lavfi -i "
                      "testsrc=size=320x240:duration=2 -map 0 -map 1 -disposition:v:0 0 "
                      "-disposition:v:1 default"),
                 0);
    }

    void videosAudioAndPictures()
    {
        Scan scan{"clip.mp4",  "short.mkv", "song.mp3",    "voice.mp4",
                  "voice.mov", "empty.mp4", "sizeless.mp4"};
        writeFile(scan.path("photo.jpg"), pictureBytes({64, 48}, "JPG").leftJustified(5000, '\0'));
        writeFile(scan.path("broken.mp4"), "not a video at all");
        writeFile(scan.path("broken.png"), "not a picture either");
        QVERIFY(scan.add());
        // 5000 bytes: four full slices and one of 904 bytes; the broken picture takes one.
        QCOMPARE(scan.pictureSteps, 6);
        // One tool at a time; a picture needs none. The videos' thumbnails share a run, but a
        // file it cannot read fails it: each video then runs alone. A file that it describes
        // without a picture needs no run of its own. A video's thumbnail run describes the
        // file for its probe, which runs on its own only when that run could not read the
        // file. A video too short for a frame at 1 second takes its first one.
        QCOMPARE(inputsOf(scan.runs, scan.dir.path()),
                 (QStringList{"-ss 1 -i broken.mp4 -ss 1 -i clip.mp4 -ss 1 -i empty.mp4 -ss 1 -i "
                              "short.mkv",
                              "-ss 1 -i broken.mp4", "-ss 1 -i clip.mp4", "-ss 1 -i empty.mp4",
                              "-ss 1 -i short.mkv", "-ss 0 -i short.mkv", "-i broken.mp4",
                              "-ss 1 -i sizeless.mp4 -ss 1 -i voice.mov -ss 1 -i voice.mp4",
                              "-ss 1 -i sizeless.mp4", "-ss 0 -i sizeless.mp4", "-i song.mp3"}));
        // A video file that holds only sound is a sound; one with nothing to show, or with a
        // picture of no size, is invalid.
        const QStringList rows = learnt(scan.model);
        for (const char *row : {"voice.mp4 audio true true 400 400 1500 1",
                                "voice.mov audio true true 400 400 1500 1",
                                "empty.mp4 video false  0 0 0 0", "sizeless.mp4 video false     0"})
            QVERIFY2(rows.contains(row), row);
        // Why each invalid item cannot be shown.
        for (const auto &[name, reason] :
             {std::pair{"broken.mp4", "cannot be decoded"},
              {"empty.mp4", "no picture and no sound in the file"},
              {"broken.png", "cannot be decoded"}})
            QCOMPARE(scan.record(name).value("reason").toString(), QString(reason));
        for (const char *name : {"clip.mp4", "short.mkv", "photo.jpg"}) {
            const QString thumbnail = scan.record(name).value("img").toString();
            QVERIFY(thumbnail.startsWith(scan.project.path() + "/picture/"));
            QCOMPARE(QImageReader(thumbnail).size(), QSize(320, 240));
        }
        // A thumbnail that was never written shows as the placeholder; a sound as itself.
        for (const auto &[name, shown] :
             {std::pair{"broken.mp4", "dummy"}, {"voice.mp4", "music"}}) {
            const QModelIndex row = childNamed(scan.model, scan.model.index(0, 0), name);
            QCOMPARE(fileInfo(row).value("img").toUrl(),
                     QUrl(QString("qrc:/PICTS/Pics/%1.png").arg(shown)));
        }
        QCOMPARE(scan.record("broken.mp4").value("isValid"), QVariant(false));
        QCOMPARE(scan.record("broken.png").value("isValid"), QVariant(false));
        QVERIFY(!scan.record("broken.png").contains("img"));

        const QVariantMap video = scan.record("clip.mp4"), info = video.value("info").toMap();
        QCOMPARE((QVariantList{video["isValid"], video["asyncCompleted"], info["duration"],
                               info["timeLenMsec"], info["fps"], info["frameWidth"],
                               info["frameHeight"]}),
                 (QVariantList{true, true, "00:00:02.00", 2000, "25 fps", 320, 240}));
        const QVariantMap song = scan.record("song.mp3"), sound = song.value("info").toMap();
        QCOMPARE((QVariantList{song["isValid"], sound["frameWidth"], sound["frameHeight"],
                               sound["timeLenMsec"]}),
                 (QVariantList{true, 400, 400, 1540}));
        QCOMPARE(scan.record("photo.jpg").value("info").toMap().value("frameHeight"), QVariant(48));
    }

    // Each type by its name, read by ffmpeg or by Qt's picture readers; a picture is read at
    // its first frame.
    void everyTypeShows()
    {
        Scan scan;
        const QString video = "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 ";
        const QString sound = "-f lavfi -i sine=duration=1";
        const QString picture = "-f lavfi -i testsrc=size=160x120:rate=5:duration=1 ";
        const QList<std::pair<const char *, QString>> files{{"v.webm", video},
                                                            {"v.mxf", video},
                                                            {"v.m2ts", video},
                                                            {"v.ogv", video},
                                                            {"v.MPE", video + "-f mpeg"},
                                                            {"s.m4a", sound},
                                                            {"s.aac", sound},
                                                            {"s.opus", sound},
                                                            {"s.aif", sound},
                                                            {"s.aiff", sound},
                                                            {"p.gif", picture},
                                                            {"p.tif", picture + "-frames:v 1"},
                                                            {"p.tiff", picture + "-frames:v 1"},
                                                            {"p.webp", picture + "-frames:v 1"}};
        for (const auto &[name, arguments] : files)
            QCOMPARE(makeMedia(scan.path(name), arguments), 0);
        writeFile(scan.path("deck.odp"), "slides");
        QVERIFY(scan.add());
        QCOMPARE(learnt(scan.model).mid(1), // the rows below the folder, in its order
                 (QStringList{"v.webm video true true 160 120 1000 0",
                              "v.ogv video true true 160 120 1000 0",
                              "v.mxf video true true 160 120 1000 0",
                              "v.MPE video true true 160 120 880 0",
                              "v.m2ts video true true 160 120 1000 0",
                              "s.opus audio true true 400 400 1010 1",
                              "s.m4a audio true true 400 400 1000 1",
                              "s.aiff audio true true 400 400 1000 1",
                              "s.aif audio true true 400 400 1000 1",
                              "s.aac audio true true 400 400 1040 1",
                              "p.webp picture true true 160 120 600000 0",
                              "p.tiff picture true true 160 120 600000 0",
                              "p.tif picture true true 160 120 600000 0",
                              "p.gif picture true true 160 120 600000 0",
                              "deck.odp office false true 960 720 600000 1"}));
        QCOMPARE(QImageReader(scan.record("p.gif").value("img").toString()).size(),
                 QSize(320, 240));
    }

    // A shared run serves a video as a run of its own would: a video too short for the seek
    // point takes its first frame in a second run. Alone, ffmpeg takes the picture marked as
    // the default, while a shared run gives each input's first: such a video runs again alone.
    void sharedRunsServeAsRunsAlone()
    {
        Scan scan{"clip.mp4", "short.mkv", "two pictures.mkv"};
        QVERIFY(scan.add());
        QCOMPARE(inputsOf(scan.runs, scan.dir.path()),
                 (QStringList{"-ss 1 -i clip.mp4 -ss 1 -i short.mkv -ss 1 -i two pictures.mkv",
                              "-ss 0 -i short.mkv", "-ss 1 -i two pictures.mkv"}));
        for (const char *name : {"clip.mp4", "short.mkv", "two pictures.mkv"})
            QCOMPARE(QImageReader(scan.record(name).value("img").toString()).size(),
                     QSize(320, 240));
        QCOMPARE(scan.record("short.mkv").value("info").toMap().value("timeLenMsec"),
                 QVariant(520));
    }

    // A view reads every row as soon as the walk shows them, before the build would ask for
    // the same jobs. Four jobs at once finish in another order, yet every item must end as
    // with one job at a time.
    void parallelJobsRunEachJobOnceWithTheSameResults()
    {
        QMap<int, QStringList> trees;
        for (const int jobs : {1, 4}) {
            UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, jobs);
            Scan scan;
            UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, 1);
            QCOMPARE(scan.runner()->parallelJobs(), jobs);
            QStringList entries, expectedInputs;
            for (int i = 1; i <= 12; ++i) {
                entries << QString("sub%1/clip%2.mp4").arg(i % 3).arg(i)
                        << QString("sub%1/song%2.mp3").arg(i % 3).arg(i);
                // A video's probe reads what its thumbnail run wrote.
                expectedInputs << QString("-ss 1 -i clip%1.mp4").arg(i)
                               << QString("-i song%1.mp3").arg(i);
            }
            makeEntries(scan.dir.path(), entries);
            writeFile(scan.project.path() + "/bin/ffmpeg", kNumberedStandIn, true);
            const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
            qputenv("PATH", QFile::encodeName(scan.project.path() + "/bin:") + qgetenv("PATH"));
            connect(&scan.model, &QAbstractItemModel::modelReset, this, [&scan] {
                if (scan.model.rowCount() > 0)
                    learnt(scan.model, {});
            });
            QVERIFY(scan.add());
            QTRY_VERIFY(!scan.model.isBusy());

            QStringList inputs;
            for (const QString &run : inputsOf(scan.runs, scan.dir.path()))
                inputs << run.split(QRegularExpression(" (?=-ss)")); // a shared run's inputs
            inputs.replaceInStrings(QRegularExpression("sub[0-9]/"), "");
            inputs.sort();
            expectedInputs.sort();
            QCOMPARE(inputs, expectedInputs);
            QVERIFY(scan.runs.size() < inputs.size()); // thumbnails made together
            trees[jobs] = learnt(scan.model, scan.model.index(0, 0));
        }
        QVERIFY(trees[1].contains("clip7.mp4 video true true 23 16 7000 0"));
        QCOMPARE(trees[4], trees[1]);
    }

    // A row that a view shows once the first run has started has its jobs run next.
    void shownRowsGoFirst()
    {
        Scan scan;
        QStringList entries;
        for (int i = 1; i <= 12; ++i)
            entries << QString("clip%1.mp4").arg(i);
        makeEntries(scan.dir.path(), entries);
        writeFile(scan.project.path() + "/bin/ffmpeg", kNumberedStandIn, true);
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(scan.project.path() + "/bin:") + qgetenv("PATH"));
        QString shown;
        for (ToolProcess *tool : scan.model.findChildren<ToolProcess *>())
            connect(tool, &ToolProcess::started, this, [&] {
                if (scan.runs.size() != 1)
                    return;
                const QModelIndex root = scan.model.index(0, 0);
                const QString first = inputsOf(scan.runs, scan.dir.path()).constFirst();
                for (int row = 0; shown.isEmpty() && row < scan.model.rowCount(root); ++row) {
                    const QString name = scan.model.index(row, 0, root).data().toString();
                    if (!first.contains("-i " + name + " ") && !first.endsWith("-i " + name))
                        shown = name;
                }
                scan.model.data(childNamed(scan.model, root, shown));
            });
        QVERIFY(scan.add());
        QVERIFY(inputsOf(scan.runs, scan.dir.path()).at(1).startsWith("-ss 1 -i " + shown));
    }

    void toolsThatFailStillEndTheirJobs_data()
    {
        QTest::addColumn<QByteArray>("ffmpeg");
        QTest::addColumn<int>("runs"); // a run that crashed or hung is not tried at the start
        QTest::addRow("not installed") << QByteArray() << 0;
        QTest::addRow("hangs") << QByteArray("exec /bin/sleep 60") << 2;
        QTest::addRow("crashes after a report")
                << QByteArray("printf '  Duration: 00:00:02.00, start: 0.000000\n    Stream #0:0: "
                              "Video: h264, yuv420p, 320x240, 25 fps\n' >&2; kill -SEGV $$")
                << 2;
    }

    void toolsThatFailStillEndTheirJobs()
    {
        QFETCH(QByteArray, ffmpeg);
        Scan scan{"clip.mp4"};
        if (!ffmpeg.isEmpty())
            writeFile(scan.project.path() + "/bin/ffmpeg", "#!/bin/sh\n" + ffmpeg, true);
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(scan.project.path() + "/bin"));
        scan.runner()->setToolTimeLimit(300);
        QVERIFY(scan.add());
        QCOMPARE(scan.record("clip.mp4").value("isValid"), QVariant(false));
        QTEST(int(scan.runs.size()), "runs");
    }

    // Each item is forgotten while its job runs, as a removal would.
    void removedItemsDropTheirResults()
    {
        Scan scan{"song.mp3", "clip.mp4", "short.mkv"};
        writeFile(scan.path("photo.jpg"), pictureBytes({800, 600}, "JPG"));
        writeFile(scan.path("wall.png"), pictureBytes({1600, 400}, "PNG"));
        QMap<QString, int> ids;
        const auto forget = [&](const QString &name) {
            ids[name] = scan.model.idOfKey(FolderModel::itemKey(scan.path(name), 0));
            scan.model.clearIndexOfKey(FolderModel::itemKey(scan.path(name), 0));
        };
        for (ToolProcess *tool : scan.model.findChildren<ToolProcess *>())
            connect(tool, &ToolProcess::started, this, [&] {
                for (const char *name : {"song.mp3", "clip.mp4", "short.mkv"}) // a shared run
                    forget(name);
            });
        scan.atFirst = std::bind(forget, "photo.jpg");
        scan.atDecode = std::bind(forget, "wall.png");
        scan.model.addFolder(scan.dir.path());
        QTRY_VERIFY(!scan.model.isBusy() && ids.size() == 5);
        for (const int id : qAsConst(ids))
            QVERIFY(id > 0 && !scan.model.recordOf(id).contains("info"));
        QVERIFY(QDir(scan.project.path() + "/picture").isEmpty());
    }

    void pictureThumbnails_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("thumbnail"); // empty: not valid
        QTest::addColumn<int>("memoryLimitMB");
        const int limit = kDefaultPictureMemoryLimitMB;
        QTest::addRow("4000x3000") << pictureBytes({4000, 3000}, "JPG") << QSize(4000, 3000)
                                   << QSize(320, 240) << limit;
        QTest::addRow("1000x333") << pictureBytes({1000, 333}, "PNG") << QSize(1000, 333)
                                  << QSize(320, 106) << limit;
        QTest::addRow("undecodable") << QByteArray("plain text") << QSize() << QSize() << limit;
        // Only the header is read: the data behind it would not even decode.
        QTest::addRow("10001x10001 header")
                << bitmapDeclaring({10001, 10001}) << QSize(10001, 10001) << QSize() << limit;
        // A JPEG decodes at an eighth of each side: 500 x 375 fits in 1 MB, 1000 x 333 does not.
        QTest::addRow("4000x3000 in 1 MB")
                << pictureBytes({4000, 3000}, "JPG") << QSize(4000, 3000) << QSize(320, 240) << 1;
        QTest::addRow("1000x333 PNG over 1 MB")
                << pictureBytes({1000, 333}, "PNG") << QSize(1000, 333) << QSize() << 1;
        QTest::addRow("16000x4000") << bitmapDeclaring({16000, 4000}, true) << QSize(16000, 4000)
                                    << QSize(320, 80) << limit;
        QTest::addRow("1x8000000") << bitmapDeclaring({1, 8000000}, true) << QSize(1, 8000000)
                                   << QSize(320, kMaxThumbnailHeight) << limit;
        QTest::addRow("8000000x1") << bitmapDeclaring({8000000, 1}, true) << QSize(8000000, 1)
                                   << QSize(320, 1) << limit;
        // Headers that promise more than their files hold.
        QTest::addRow("1x8000000 header")
                << bitmapDeclaring({1, 8000000}) << QSize(1, 8000000) << QSize() << limit;
        QTest::addRow("20000x9000 header in 1 KB")
                << bitmapDeclaring({20000, 9000}).leftJustified(1024, '\0') << QSize(20000, 9000)
                << QSize() << limit;
        QTest::addRow("30000x9000 PNG header")
                << pngDeclaring({30000, 9000}) << QSize(30000, 9000) << QSize() << limit;
        const QByteArray jpeg = pictureBytes({800, 600}, "JPG");
        QTest::addRow("cut-off JPEG")
                << jpeg.left(jpeg.size() / 2) << QSize(800, 600) << QSize() << limit;
    }

    void pictureThumbnails()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QSize, thumbnail);
        QFETCH(int, memoryLimitMB);
        const DecodedPicture picture = decodePicture(bytes, memoryLimitMB * kBytesPerMB);
        QCOMPARE(picture.isValid, thumbnail.isValid());
        QCOMPARE(picture.size, size);
        QCOMPARE(picture.thumbnail.size(), thumbnail.isValid() ? thumbnail : QSize(0, 0));
    }

    // The stand-in writes the arguments it receives into the directory it is given.
    void slideCaptureRunsTheInstalledTool()
    {
        const QString installDir = QCoreApplication::applicationDirPath();
        writeFile(installDir + "/CaptureImages/jre/bin/java",
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$4/arguments.txt\"", true);
        Scan scan;
        writeFile(scan.path("my deck.pptx"), "slides");
        const bool ended = scan.add();
        QDir(installDir + "/CaptureImages").removeRecursively();
        QVERIFY(ended);
        const QVariantMap record = scan.record("my deck.pptx");
        QCOMPARE(record.value("asyncCompleted"), QVariant(true));
        QCOMPARE(record.value("isValid"), QVariant(false)); // no slide came out
        const QModelIndex row = childNamed(scan.model, scan.model.index(0, 0), "my deck.pptx");
        QCOMPARE(fileInfo(row).value("isValid"), QVariant(false));
        const QString slides = record.value("info").toMap().value("pptPath").toString();
        QVERIFY(slides.startsWith(scan.project.path() + "/picture/") && !slides.endsWith('/'));
        QFile written(slides + "/arguments.txt");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(written.readAll()).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"-jar", installDir + "/CaptureImages/CaptureImages.jar",
                              scan.path("my deck.pptx"), slides + '/'}));
    }
};

QTEST_GUILESS_MAIN(TestProbeRunner)
#include "tst_proberunner.moc"

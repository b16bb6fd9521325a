#include "model/foldermodel.h"
#include "probe/picturedecoder.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QtEndian>
#include <QtTest>

namespace {

// Media made by ffmpeg from its generated sources.
bool makeMedia(const QString &path, const QStringList &source)
{
    return QProcess::execute("ffmpeg", QStringList{"-nostdin", "-loglevel", "error", "-y"} + source
                                               + QStringList{path})
           == 0;
}

QStringList clip(const QString &size, const QString &seconds)
{
    return {"-f", "lavfi", "-i", QString("testsrc=size=%1:rate=25:duration=%2").arg(size, seconds)};
}

QStringList tone(const QString &seconds)
{
    return {"-f", "lavfi", "-i", QString("sine=duration=%1").arg(seconds)};
}

QByteArray pictureBytes(const QSize &size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A stand-in for a tool: a shell script that runs body.
void writeScript(const QString &path, const QByteArray &body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// Counts the model's steps of one type, and runs an action at the first of them.
class StepSpy : public QObject
{
public:
    StepSpy(QObject *model, FileTaskType type, std::function<void()> atFirst = {})
        : type(type), atFirst(std::move(atFirst))
    {
        model->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Type(type) && ++count == 1 && atFirst)
            atFirst();
        return false;
    }
    const FileTaskType type;
    const std::function<void()> atFirst;
    int count = 0;
};

} // namespace

class TestProbeRunner : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void videosAudioAndPictures();
    void shortVideoTakesItsFirstFrame();
    void brokenFilesEndInvalid();
    void toolsThatFailStillEndTheirJobs_data();
    void toolsThatFailStillEndTheirJobs();
    void removedItemsDropTheirResults();
    void picturesAreReadInSlices();
    void pictureThumbnails_data();
    void pictureThumbnails();
    void slideCaptureRunsTheInstalledTool();

private:
    // A model on its own project directory, checked by Qt's model tester throughout.
    struct Scan
    {
        Scan() : tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest)
        {
            QObject::connect(model.process, &QProcess::started,
                             [this] { runs << model.process->arguments(); });
        }
        bool add(const QString &path)
        {
            QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
            model.addFolder(path);
            return ended.wait(30000);
        }
        QVariantMap record(const QString &name)
        {
            const QModelIndex index = childNamed(model, model.index(0, 0), name);
            return model.recordOf(int(index.internalId()));
        }

        ProjectDir project;
        FolderModel model{nullptr};
        QAbstractItemModelTester tester;
        QList<QStringList> runs;
    };

    QTemporaryDir media;
};

void TestProbeRunner::initTestCase()
{
    QVERIFY(makeMedia(media.filePath("clip.mp4"), clip("320x240", "2")));
    QVERIFY(makeMedia(media.filePath("short.mkv"), clip("160x120", "0.5")));
    QVERIFY(makeMedia(media.filePath("song.mp3"), tone("1.5")));
}

void TestProbeRunner::videosAudioAndPictures()
{
    QTemporaryDir dir;
    QFile::copy(media.filePath("clip.mp4"), dir.filePath("clip.mp4"));
    QFile::copy(media.filePath("song.mp3"), dir.filePath("song.mp3"));
    writeFile(dir.filePath("photo.jpg"), pictureBytes({640, 480}, "JPG"));
    Scan scan;
    QVERIFY(scan.add(dir.path()));

    // One tool at a time in the order the items were built, a video's thumbnail before its
    // probe; pictures need no tool.
    QCOMPARE(scan.runs.size(), 3);
    QCOMPARE(scan.runs.at(0).mid(0, 3), (QStringList{"-ss", "1", "-i"}));
    QCOMPARE(scan.runs.at(1), (QStringList{"-i", dir.filePath("clip.mp4")}));
    QCOMPARE(scan.runs.at(2), (QStringList{"-i", dir.filePath("song.mp3")}));

    const QVariantMap video = scan.record("clip.mp4");
    const QVariantMap info = video.value("info").toMap();
    QCOMPARE(video.value("isValid"), QVariant(true));
    QCOMPARE(video.value("asyncCompleted"), QVariant(true));
    QCOMPARE(info.value("duration").toString(), "00:00:02.00");
    QCOMPARE(info.value("timeLenMsec").toInt(), 2000);
    QCOMPARE(info.value("fps").toString(), "25 fps");
    QCOMPARE(info.value("frameWidth").toInt(), 320);
    QCOMPARE(info.value("frameHeight").toInt(), 240);
    const QString thumbnail = video.value("img").toString();
    QVERIFY(thumbnail.startsWith(scan.project.path() + "/picture/"));
    QCOMPARE(QImageReader(thumbnail).size(), QSize(320, 240));
    QCOMPARE(fileInfo(childNamed(scan.model, scan.model.index(0, 0), "clip.mp4"))
                     .value("img")
                     .toUrl()
                     .toLocalFile(),
             thumbnail);

    const QVariantMap song = scan.record("song.mp3");
    QCOMPARE(song.value("isValid"), QVariant(true));
    QCOMPARE(song.value("info").toMap().value("frameWidth"), QVariant(400));
    QCOMPARE(song.value("info").toMap().value("timeLenMsec"), QVariant(1540));

    const QVariantMap photo = scan.record("photo.jpg");
    QCOMPARE(photo.value("info").toMap().value("frameHeight"), QVariant(480));
    QCOMPARE(QImageReader(photo.value("img").toString()).size(), QSize(320, 240));

    // What the jobs learnt reached the store.
    for (const QVariantMap &row : storedRows(scan.project.path())) {
        if (row.value("uuid") != video.value("uuid"))
            continue;
        QCOMPARE(row.value("resolution").toString(), "320 X 240");
        QCOMPARE(row.value("fps").toDouble(), 25.0);
        QCOMPARE(row.value("timeLenMsec").toInt(), 2000);
        QCOMPARE(QUrl(row.value("img").toString()).toLocalFile(), thumbnail);
        QCOMPARE(row.value("fileSize").toLongLong(), QFileInfo(dir.filePath("clip.mp4")).size());
        return;
    }
    QFAIL("the video has no stored record");
}

void TestProbeRunner::shortVideoTakesItsFirstFrame()
{
    Scan scan;
    QTemporaryDir dir;
    QFile::copy(media.filePath("short.mkv"), dir.filePath("short.mkv"));
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(scan.runs.size(), 3);
    QCOMPARE(scan.runs.at(1).mid(0, 2), (QStringList{"-ss", "0"}));
    QCOMPARE(QImageReader(scan.record("short.mkv").value("img").toString()).size(),
             QSize(320, 240));
}

void TestProbeRunner::brokenFilesEndInvalid()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("broken.mp4"), "not a video at all");
    writeFile(dir.filePath("broken.png"), "not a picture either");
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(scan.record("broken.mp4").value("isValid"), QVariant(false));
    QCOMPARE(scan.record("broken.png").value("isValid"), QVariant(false));
    QVERIFY(!scan.record("broken.png").contains("img"));
    // A thumbnail that was never written shows as the placeholder.
    const QModelIndex video = childNamed(scan.model, scan.model.index(0, 0), "broken.mp4");
    QCOMPARE(fileInfo(video).value("img").toUrl(), QUrl("qrc:/PICTS/Pics/dummy.png"));
}

void TestProbeRunner::toolsThatFailStillEndTheirJobs_data()
{
    QTest::addColumn<QByteArray>("ffmpeg");
    QTest::addRow("not installed") << QByteArray();
    QTest::addRow("hangs") << QByteArray("exec sleep 60");
    QTest::addRow("crashes") << QByteArray("kill -SEGV $$");
}

void TestProbeRunner::toolsThatFailStillEndTheirJobs()
{
    QFETCH(QByteArray, ffmpeg);
    QTemporaryDir dir, bin;
    QFile::copy(media.filePath("clip.mp4"), dir.filePath("clip.mp4"));
    if (!ffmpeg.isEmpty())
        writeScript(bin.filePath("ffmpeg"), ffmpeg);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    Scan scan;
    scan.model.toolTimeLimitMs = 300;
    const bool ended = scan.add(dir.path());
    qputenv("PATH", path);
    QVERIFY(ended);
    QCOMPARE(scan.record("clip.mp4").value("isValid"), QVariant(false));
}

void TestProbeRunner::removedItemsDropTheirResults()
{
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    const QString photo = dir.filePath("photo.jpg");
    QFile::copy(media.filePath("song.mp3"), song);
    writeFile(photo, pictureBytes({800, 600}, "JPG"));
    Scan scan;
    // Each item is forgotten while its job runs, as a removal would.
    const auto forget = [&](const QString &path) {
        scan.model.clearIndexOfKey(FolderModel::itemKey(path, 0));
    };
    connect(scan.model.process, &QProcess::started, this, [&] { forget(song); });
    StepSpy steps(&scan.model, PictureReadChunk, [&] { forget(photo); });
    scan.model.addFolder(dir.path());
    QTRY_VERIFY(scan.model.taskQueue.empty() && scan.model.buildQueue.empty() && steps.count > 0);
    QCOMPARE(scan.runs.size(), 1);
    QVERIFY(!scan.model.recordOf(scan.model.idOfKey(FolderModel::itemKey(song, 0)))
                     .contains("info"));
    QVERIFY(QDir(scan.project.path() + "/picture").isEmpty());
}

void TestProbeRunner::picturesAreReadInSlices()
{
    QTemporaryDir dir;
    QByteArray bytes = pictureBytes({64, 48}, "JPG");
    QVERIFY(bytes.size() < 5000);
    bytes.append(5000 - bytes.size(), '\0'); // four full slices and one of 904 bytes
    writeFile(dir.filePath("padded.jpg"), bytes);
    Scan scan;
    StepSpy steps(&scan.model, PictureReadChunk);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(steps.count, 5);
    QCOMPARE(scan.record("padded.jpg").value("isValid"), QVariant(true));
}

void TestProbeRunner::pictureThumbnails_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("thumbnail"); // empty: not valid
    QTest::addRow("4000x3000") << pictureBytes({4000, 3000}, "JPG") << QSize(4000, 3000)
                               << QSize(320, 240);
    QTest::addRow("1000x333") << pictureBytes({1000, 333}, "PNG") << QSize(1000, 333)
                              << QSize(320, 106);
    QTest::addRow("tall") << pictureBytes({100, 2000}, "BMP") << QSize(100, 2000)
                          << QSize(320, 6400);
    QTest::addRow("not a picture") << QByteArray("plain text") << QSize() << QSize();
    QTest::addRow("empty") << QByteArray() << QSize() << QSize();
    // Only the header is read: the data behind it would not even decode.
    QByteArray huge = pictureBytes({2, 2}, "BMP");
    QByteArray side(4, '\0');
    qToLittleEndian<qint32>(10001, side.data());
    huge.replace(18, 4, side).replace(22, 4, side); // width and height of the bitmap header
    QTest::addRow("10001x10001 header") << huge << QSize(10001, 10001) << QSize();
}

void TestProbeRunner::pictureThumbnails()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QSize, thumbnail);
    const DecodedPicture picture = decodePicture(bytes);
    QCOMPARE(picture.isValid, thumbnail.isValid());
    if (size.isValid())
        QCOMPARE(picture.size, size);
    QCOMPARE(picture.thumbnail.size(), thumbnail.isValid() ? thumbnail : QSize(0, 0));
}

void TestProbeRunner::slideCaptureRunsTheInstalledTool()
{
    const QString installDir = QCoreApplication::applicationDirPath();
    const QString runtime = installDir + "/CaptureImages/jre/bin/java";
    const QString arguments = installDir + "/capture-arguments.txt";
    writeScript(runtime, "printf '%s\\n' \"$@\" > '" + arguments.toLocal8Bit() + "'\ncp '"
                                 + media.filePath("song.mp3").toLocal8Bit()
                                 + "' \"$4/slide-1.png\"");
    QTemporaryDir dir;
    const QString deck = dir.filePath("my deck.pptx");
    writeFile(deck, "slides");
    Scan scan;
    const bool ended = scan.add(dir.path());
    QDir(installDir + "/CaptureImages").removeRecursively();
    QVERIFY(ended);

    const QVariantMap record = scan.record("my deck.pptx");
    QCOMPARE(record.value("asyncCompleted"), QVariant(true));
    const QString slides = record.value("info").toMap().value("pptPath").toString();
    QVERIFY(slides.startsWith(scan.project.path() + "/picture/"));
    QVERIFY(!slides.endsWith(QLatin1Char('/')));
    QVERIFY(QFileInfo::exists(slides + "/slide-1.png"));
    QFile written(arguments);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(written.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"-jar", installDir + "/CaptureImages/CaptureImages.jar", deck,
                          slides + QLatin1Char('/')}));
    written.remove();
}

QTEST_GUILESS_MAIN(TestProbeRunner)
#include "tst_proberunner.moc"

#include "probe/reportparser.h"
#include "probe/tools.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

// What ffmpeg wrote to standard error; empty when it did not run to its end.
QString ffmpegReport(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    ffmpeg.start("ffmpeg", arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit)
        return {};
    return QString::fromLocal8Bit(ffmpeg.readAllStandardError());
}

QString fixture(const QString &name)
{
    QFile file(QStringLiteral(FIXTURE_DIR) + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QSize frameSize(const QVariantMap &info)
{
    return QSize(info.value("frameWidth").toInt(), info.value("frameHeight").toInt());
}

QJsonObject detailObject(const QString &report)
{
    return QJsonDocument::fromJson(buildDetailInfo(report).toUtf8()).object();
}

const QString kWorkedExample = QStringLiteral(
        "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'clip.mp4':\n"
        "  Metadata:\n"
        "    major_brand     : isom\n"
        "    minor_version   : 512\n"
        "    compatible_brands: isomiso2avc1mp41\n"
        "    encoder         : Lavf58.29.100\n"
        "  Duration: 00:01:02.50, start: 0.000000, bitrate: 1205 kb/s\n"
        "    Stream #0:0(und): Video: h264 (High), yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 1070 "
        "kb/s, 25 fps, 25 tbr, 12800 tbn, 50 tbc (default)\n"
        "    Stream #0:1(und): Audio: aac (LC), 44100 Hz, stereo, fltp, 128 kb/s (default)\n"
        "At least one output file must be specified\n");

const QString kInputHeader = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'clip.mp4':\n";
const QString kInputHead
        = kInputHeader + "  Duration: 00:00:04.00, start: 0.000000, bitrate: 300 kb/s\n";

QString withVideo(const QString &description)
{
    return kInputHead + "  Stream #0:0: Video: " + description + "\n";
}

constexpr int kNoDuration = -1;

} // namespace

class TestReportParser : public QObject
{
    Q_OBJECT

private slots:
    void durationMilliseconds_data()
    {
        QTest::addColumn<QString>("duration");
        QTest::addColumn<int>("msec");
        QTest::addRow("one fraction digit") << "00:00:01.5" << 1500;
        QTest::addRow("three fraction digits") << "00:00:01.123" << 1123;
        QTest::addRow("ten hours") << "10:00:00.00" << 36000000;
        QTest::addRow("longest an int holds") << "596:31:23.64" << 2147483640;
        QTest::addRow("beyond an int") << "596:31:23.65" << kNoDuration;
        QTest::addRow("hours beyond 64 bits") << "99999999999999999999:00:00.00" << kNoDuration;
        QTest::addRow("minutes and seconds out of range") << "99:99:99" << kNoDuration;
        QTest::addRow("sixty seconds") << "00:00:60.00" << kNoDuration;
        QTest::addRow("negative") << "-00:00:01.00" << kNoDuration;
        QTest::addRow("not available") << "N/A" << kNoDuration;
    }
    void durationMilliseconds()
    {
        QFETCH(QString, duration);
        QFETCH(int, msec);
        QCOMPARE(::durationMilliseconds(duration).value_or(kNoDuration), msec);
    }

    void validityAndFrameSize_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QSize>("size"); // empty: not valid
        QTest::addColumn<int>("msec");
        const QString video
                = "  Stream #0:0: Video: h264, yuv420p, 64x48 [SAR 1:1 DAR 4:3], 10 fps\n";
        const QString closing = "clip.mp4: Invalid data found when processing input\n";
        QTest::addRow("duration and video") << kInputHead + video << QSize(64, 48) << 4000;
        QTest::addRow("invalid data despite duration")
                << kInputHead + video + closing << QSize() << 0;
        QTest::addRow("invalid data, CR LF line ends")
                << QString(kInputHead + video + closing).replace("\n", "\r\n") << QSize() << 0;
        QTest::addRow("no duration") << kInputHeader + video << QSize() << 0;
        QTest::addRow("duration N/A with video")
                << kInputHeader + "  Duration: N/A, bitrate: N/A\n" + video << QSize() << 0;
        QTest::addRow("no input header")
                << QString(kInputHead + video).remove(kInputHeader) << QSize() << 0;
        const QString song = "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n";
        const QString unreadableCover = "  Stream #0:1: Video: mjpeg, none(pc), 90k tbr, 90k tbn"
                                        " (attached pic)\n";
        QTest::addRow("song with a cover it cannot read")
                << kInputHead + song + unreadableCover << QSize(0, 0) << 4000;
        QTest::addRow("no bracket after the size")
                << withVideo("mpeg4, yuv420p, 640x360, 800 kb/s, 30 fps") << QSize(640, 360)
                << 4000;
        QTest::addRow("no frame size") << withVideo("h264, yuv420p, 25 fps") << QSize() << 0;
        QTest::addRow("zero width") << withVideo("h264, yuv420p, 0x48, 25 fps") << QSize() << 0;
        QTest::addRow("negative width")
                << withVideo("h264, yuv420p, -64x48, 25 fps") << QSize() << 0;
        QTest::addRow("widest") << withVideo("h264, yuv420p, 65535x48, 25 fps") << QSize(65535, 48)
                                << 4000;
        QTest::addRow("too wide") << withVideo("h264, yuv420p, 65536x48, 25 fps") << QSize() << 0;
        QTest::addRow("thousands of fps")
                << withVideo("h264, yuv420p, 64x48, 1k fps") << QSize(64, 48) << 4000;
        QTest::addRow("fps not a number")
                << withVideo("h264, yuv420p, 64x48, nan fps") << QSize() << 0;
        QTest::addRow("negative fps") << withVideo("h264, yuv420p, 64x48, -25 fps") << QSize() << 0;
        // Real reports.
        QTest::addRow("29.97 fps") << fixture("ntsc-2997.txt") << QSize(176, 144) << 3500;
        QTest::addRow("yuv444 short") << fixture("short-yuv444.txt") << QSize(160, 120) << 500;
        QTest::addRow("raw h264 without duration")
                << fixture("raw-h264-no-duration.txt") << QSize() << 0;
        QTest::addRow("tags like an error and a stream")
                << fixture("tags-like-report-lines.txt") << QSize(64, 48) << 2000;
        QTest::addRow("name like a duration")
                << fixture("name-like-duration.txt") << QSize(96, 64) << 1000;
        QTest::addRow("name with report lines")
                << fixture("name-with-line-breaks.txt") << QSize(96, 64) << 1000;
        QTest::addRow("124 hours, 0.0003 fps")
                << fixture("length-124-hours.txt") << QSize(16, 16) << 446737160;
        QTest::addRow("600 hours, longer than an int of ms")
                << fixture("length-600-hours.txt") << QSize() << 0;
    }
    void validityAndFrameSize()
    {
        QFETCH(QString, report);
        QFETCH(QSize, size);
        QVERIFY(!report.isEmpty());
        const auto info = parseProbeReport(report);
        QCOMPARE(info.has_value(), size.isValid());
        QCOMPARE(info ? frameSize(*info) : QSize(), size);
        if (info)
            QTEST(info->value("timeLenMsec").toInt(), "msec");
    }

    void workedExample()
    {
        const auto info = parseProbeReport(kWorkedExample);
        QVERIFY(info);
        QCOMPARE((QVariantList{info->size(), info->value("duration"), info->value("fps"),
                               info->value("timeLenMsec"), frameSize(*info)}),
                 (QVariantList{6, "00:01:02.50", "25 fps", 62500, QSize(1280, 720)}));
        const QString json = QStringLiteral(
                "{\"Audio\":{\"bitrate\":\"128 kb/s\",\"encoding\":\"aac (LC)\","
                "\"sampleFormat\":\"fltp\",\"sampleRate\":\"44100 Hz\",\"soundTrack\":\"stereo\"},"
                "\"Metadata\":{\"compatible_brands\":\"isomiso2avc1mp41\","
                "\"encoder\":\"Lavf58.29.100\",\"major_brand\":\"isom\",\"minor_version\":\"512\"},"
                "\"Video\":{\"bitrate\":\"1070 kb/s\",\"encoding\":\"h264 (High)\","
                "\"fps\":\"25 fps\",\"pixelFormats\":\"yuv420p\","
                "\"resolution\":\"1280x720 [SAR 1:1 DAR 16:9]\"},\"bitrate\":\"1205 kb/s\","
                "\"duration\":\"00:01:02.50\"}");
        QCOMPARE(buildDetailInfo(kWorkedExample), json);
        QCOMPARE(info->value("detailInfo").toString(), json);
    }

    void detailMembers_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("member"); // "Object/name" inside a nested object
        QTest::addColumn<QString>("value"); // null: no such member
        QTest::addRow("stream metadata after the duration")
                << kInputHead
                           + "  Stream #0:0: Audio: mp3, 44100 Hz\n    Metadata:\n"
                             "      encoder         : Lavc59.37.100\n"
                << "Metadata" << QString();
        for (const QString kind : {"Video", "Audio"})
            QTest::addRow("unended %s line", qPrintable(kind))
                    << kInputHead + "  Stream #0:0: " + kind
                               + ": h264 (High), yuv420p, 64x48, 25 fps, 44100 Hz, 128 kb/s"
                    << kind << QString();
        // Split plainly at a comma inside brackets; the frame size of the same report is
        // read right all the same (see the fixtures table).
        QTest::addRow("comma inside the pixel format")
                << fixture("short-yuv444.txt") << "Video/pixelFormats"
                << "yuv444p(tv";
        QTest::addRow("pixel format's rest as resolution")
                << fixture("short-yuv444.txt") << "Video/resolution"
                << "progressive)";
    }
    void detailMembers()
    {
        QFETCH(QString, report);
        QFETCH(QString, member);
        QFETCH(QString, value);
        const QStringList path = member.split('/');
        QJsonObject object = detailObject(report);
        for (const QString &name : path.mid(0, path.size() - 1))
            object = object.value(name).toObject();
        QCOMPARE(object.contains(path.last()), !value.isNull());
        QCOMPARE(object.value(path.last()).toString(), value.isNull() ? QString() : value);
    }

    // Real runs on generated files: what a thumbnail run writes about its input makes the
    // same record as the probe of the file, and tells whether a run at the first frame could
    // find a picture that the run at the seek point did not.
    void thumbnailRunDescribesInputAsProbe_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("sources"); // lavfi inputs; none: a text file
        QTest::addColumn<int>("msec");
        QTest::addColumn<QSize>("size"); // empty: not valid
        QTest::addColumn<bool>("pictureAtSeek");
        QTest::addRow("video with sound")
                << "clip.mp4"
                << QStringList{"testsrc=size=320x240:rate=25:duration=2", "sine=duration=2"} << 2000
                << QSize(320, 240) << true;
        QTest::addRow("video without sound")
                << "silent.mkv" << QStringList{"testsrc2=size=176x144:rate=30000/1001:duration=2"}
                << 2000 << QSize(176, 144) << true;
        QTest::addRow("shorter than the seek point")
                << "short.mp4"
                << QStringList{"testsrc=size=160x120:rate=25:duration=0.5", "sine=duration=0.5"}
                << 520 << QSize(160, 120) << false;
        QTest::addRow("sound only")
                << "voice.mp4" << QStringList{"sine=duration=1.5"} << 1500 << QSize(0, 0) << false;
        QTest::addRow("broken") << "broken.mp4" << QStringList() << kNoDuration << QSize() << false;
    }
    void thumbnailRunDescribesInputAsProbe()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, sources);
        QFETCH(int, msec);
        QFETCH(QSize, size);
        QFETCH(bool, pictureAtSeek);
        QTemporaryDir dir;
        const QString input = dir.filePath(name);
        QStringList make{"-y"};
        for (const QString &source : sources)
            make << "-f"
                 << "lavfi"
                 << "-i" << source;
        if (sources.isEmpty())
            QVERIFY(QFile::copy(QStringLiteral(FIXTURE_DIR) + "/invalid-data.txt", input));
        else
            QVERIFY(!ffmpegReport(make << "-shortest" << input).isEmpty());

        const auto probed = parseProbeReport(ffmpegReport(probeArguments(input)));
        QCOMPARE(probed ? probed->value("timeLenMsec").toInt() : kNoDuration, msec);
        QCOMPARE(probed ? frameSize(*probed) : QSize(), size);
        const bool video = size.width() > 0;
        for (const int seek : {kThumbnailSeekSeconds, 0}) {
            const QString picture = dir.filePath(QString("at%1.jpg").arg(seek));
            const QString described = inputDescription(
                    ffmpegReport(thumbnailArguments({input}, seek, 1, {picture})));
            QCOMPARE(described.isEmpty(), !probed);
            QCOMPARE(parseProbeReport(described), probed);
            QCOMPARE(videoStreamCount(described), int(video));
            QCOMPARE(QFileInfo(picture).size() > 0, seek ? pictureAtSeek : video);
        }
        // Read twice by one run, the file is described and pictured as by a run of its own.
        const QStringList pictures{dir.filePath("first.jpg"), dir.filePath("second.jpg")};
        const QString shared = ffmpegReport(
                thumbnailArguments({input, input}, kThumbnailSeekSeconds, 1, pictures));
        QCOMPARE(parseProbeReport(inputDescriptionAt(shared, 1)), probed);
        QFile alone(dir.filePath(QString("at%1.jpg").arg(kThumbnailSeekSeconds))),
                second(pictures.at(1));
        QCOMPARE(second.open(QIODevice::ReadOnly), alone.open(QIODevice::ReadOnly));
        QCOMPARE(second.readAll(), alone.readAll());
    }
};

QTEST_GUILESS_MAIN(TestReportParser)
#include "tst_reportparser.moc"

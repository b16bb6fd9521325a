#include "probe/reportparser.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

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
        QTest::addRow("minute and half second") << "00:01:02.50" << 62500;
        QTest::addRow("one fraction digit") << "00:00:01.5" << 1500;
        QTest::addRow("three fraction digits") << "00:00:01.123" << 1123;
        QTest::addRow("ten hours") << "10:00:00.00" << 36000000;
        QTest::addRow("whole seconds") << "00:00:02.00" << 2000;
        QTest::addRow("over a hundred hours") << "123:45:06.78" << 445506780;
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

    void validity_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("valid");
        const QString video
                = "  Stream #0:0: Video: h264, yuv420p, 64x48 [SAR 1:1 DAR 4:3], 10 fps\n";
        const QString closing = "clip.mp4: Invalid data found when processing input\n";
        QTest::addRow("duration and video") << kInputHead + video << true;
        QTest::addRow("invalid data despite duration") << kInputHead + video + closing << false;
        QTest::addRow("invalid data, CR LF line ends")
                << QString(kInputHead + video + closing).replace("\n", "\r\n") << false;
        QTest::addRow("no duration") << kInputHeader + video << false;
        QTest::addRow("duration N/A with video")
                << kInputHeader + "  Duration: N/A, bitrate: N/A\n" + video << false;
        QTest::addRow("no input header")
                << QString(kInputHead + video).remove(kInputHeader) << false;
        const QString song = "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n";
        const QString unreadableCover = "  Stream #0:1: Video: mjpeg, none(pc), 90k tbr, 90k tbn"
                                        " (attached pic)\n";
        QTest::addRow("song with a cover it cannot read")
                << kInputHead + song + unreadableCover << true;
        QTest::addRow("no frame size") << withVideo("h264, yuv420p, 25 fps") << false;
        QTest::addRow("zero width") << withVideo("h264, yuv420p, 0x48, 25 fps") << false;
        QTest::addRow("negative width") << withVideo("h264, yuv420p, -64x48, 25 fps") << false;
        QTest::addRow("widest") << withVideo("h264, yuv420p, 65535x48, 25 fps") << true;
        QTest::addRow("too wide") << withVideo("h264, yuv420p, 65536x48, 25 fps") << false;
        QTest::addRow("thousands of fps") << withVideo("h264, yuv420p, 64x48, 1k fps") << true;
        QTest::addRow("fps not a number") << withVideo("h264, yuv420p, 64x48, nan fps") << false;
        QTest::addRow("negative fps") << withVideo("h264, yuv420p, 64x48, -25 fps") << false;
    }
    void validity()
    {
        QFETCH(QString, report);
        QFETCH(bool, valid);
        QCOMPARE(parseProbeReport(report).has_value(), valid);
    }

    void workedExample()
    {
        const auto info = parseProbeReport(kWorkedExample);
        QVERIFY(info);
        QCOMPARE(info->size(), 6);
        QCOMPARE(info->value("duration").toString(), "00:01:02.50");
        QCOMPARE(info->value("fps").toString(), "25 fps");
        QCOMPARE(info->value("timeLenMsec").toInt(), 62500);
        QCOMPARE(frameSize(*info), QSize(1280, 720));
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

    void frameSizeWithoutBracket()
    {
        const auto info = parseProbeReport(withVideo("mpeg4, yuv420p, 640x360, 800 kb/s, 30 fps"));
        QVERIFY(info);
        QCOMPARE(frameSize(*info), QSize(640, 360));
    }

    void noMetadataBeforeDuration()
    {
        const QJsonObject detail = detailObject(
                kInputHead
                + QStringLiteral("  Stream #0:0: Audio: mp3, 44100 Hz\n    Metadata:\n"
                                 "      encoder         : Lavc59.37.100\n"));
        QVERIFY(!detail.contains("Metadata"));
        QCOMPARE(detail.value("duration").toString(), "00:00:04.00");
    }

    void unterminatedStreamLineIsNotRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addRow("video") << "Video";
        QTest::addRow("audio") << "Audio";
    }
    void unterminatedStreamLineIsNotRead()
    {
        QFETCH(QString, kind);
        const QString report = kInputHead + "  Stream #0:0: " + kind
                               + ": h264 (High), yuv420p, 64x48, 25 fps, 44100 Hz, 128 kb/s";
        QVERIFY(!detailObject(report).contains(kind));
    }

    void commaInsidePixelFormatIsSplitPlainly()
    {
        // Frame size of this same report: see the fixtures table.
        const QString report = fixture("short-yuv444.txt");
        const QJsonObject video = detailObject(report).value("Video").toObject();
        QCOMPARE(video.value("pixelFormats").toString(), "yuv444p(tv");
        QCOMPARE(video.value("resolution").toString(), "progressive)");
    }

    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("fps");
        QTest::addColumn<int>("msec");
        QTest::addColumn<QSize>("size");
        QTest::addRow("h264 and aac") << "clip-h264-aac.txt" << true << "00:00:02.00"
                                      << "25 fps" << 2000 << QSize(320, 240);
        QTest::addRow("29.97 fps") << "ntsc-2997.txt" << true << "00:00:03.50"
                                   << "29.97 fps" << 3500 << QSize(176, 144);
        QTest::addRow("yuv444 short") << "short-yuv444.txt" << true << "00:00:00.50"
                                      << "30 fps" << 500 << QSize(160, 120);
        QTest::addRow("mp3 audio only") << "song-mp3.txt" << true << "00:00:01.54"
                                        << "" << 1540 << QSize(0, 0);
        QTest::addRow("raw h264 without duration") << "raw-h264-no-duration.txt" << false << ""
                                                   << "" << 0 << QSize();
        QTest::addRow("invalid data") << "invalid-data.txt" << false << ""
                                      << "" << 0 << QSize();
        QTest::addRow("tags like an error and a stream")
                << "tags-like-report-lines.txt" << true << "00:00:02.00"
                << "25 fps" << 2000 << QSize(64, 48);
        QTest::addRow("name like a duration") << "name-like-duration.txt" << true << "00:00:01.00"
                                              << "10 fps" << 1000 << QSize(96, 64);
        QTest::addRow("name with report lines")
                << "name-with-line-breaks.txt" << true << "00:00:01.00"
                << "10 fps" << 1000 << QSize(96, 64);
        QTest::addRow("124 hours, 0.0003 fps") << "length-124-hours.txt" << true << "124:05:37.16"
                                               << "0.0003 fps" << 446737160 << QSize(16, 16);
        QTest::addRow("600 hours, longer than an int of ms")
                << "length-600-hours.txt" << false << ""
                << "" << 0 << QSize();
    }
    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(bool, valid);
        QFETCH(QString, duration);
        QFETCH(QString, fps);
        QFETCH(int, msec);
        QFETCH(QSize, size);
        const QString report = fixture(file);
        QVERIFY2(!report.isEmpty(), qPrintable(file));
        const auto info = parseProbeReport(report);
        QCOMPARE(info.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(info->value("duration").toString(), duration);
        QCOMPARE(info->value("fps").toString(), fps);
        QCOMPARE(info->value("timeLenMsec").toInt(), msec);
        QCOMPARE(frameSize(*info), size);
        QCOMPARE(detailObject(report).value("duration").toString(), duration);
    }
};

QTEST_GUILESS_MAIN(TestReportParser)
#include "tst_reportparser.moc"

#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <signal.h>

using Tool = UI_Proc_TranscodingTool_Desktop;

namespace {

constexpr int kTimeoutMs = 60000;
constexpr int kHap = Tool::Hap;
constexpr int kH264 = Tool::H264;

bool ffmpeg(const QStringList &lavfiInput)
{
    const QStringList quiet{"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi"};
    return QProcess::execute("ffmpeg", quiet + lavfiInput) == 0;
}

QString probe(const QString &file, const QString &streams, const QString &entries)
{
    QProcess process;
    process.start("ffprobe", {"-v", "error", "-select_streams", streams, "-show_entries", entries,
                              "-of", "csv=p=0", file});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// One tool and what it reports.
struct Job
{
    Tool tool{nullptr, 1};
    QSignalSpy progress{&tool, &Tool::updateProgress};
    QSignalSpy failed{&tool, &Tool::transcodeFailed};

    void start(const QString &source, const QString &output, int codec, int w = 0, int h = 0)
    {
        tool.transcodeOne("job", source, output, codec, w, h, -1, -1, -1);
    }
    int doneReports() const
    {
        return int(std::count(progress.cbegin(), progress.cend(), QVariantList{"job", 1.0f}));
    }
    // Waits for the end; true when it was a success.
    bool succeeds()
    {
        const auto ended = [this] {
            return doneReports() > 0 || !failed.isEmpty();
        };
        return QTest::qWaitFor(ended, kTimeoutMs) && failed.isEmpty();
    }
};

} // namespace

class TestTranscodingTool : public QObject
{
    Q_OBJECT

    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        const QStringList h264{"-f",       "lavfi",   "-i",   "sine", "-c:v",     "libx264",
                               "-pix_fmt", "yuv420p", "-c:a", "aac",  "-shortest"};
        QVERIFY(ffmpeg(QStringList{"-i", "testsrc=size=322x242:rate=25:duration=2"} + h264
                       << path("clip.mp4")));
        QVERIFY(ffmpeg(QStringList{"-i", "testsrc=size=640x480:rate=25:duration=25"} + h264
                       << path("long.mp4")));
        QVERIFY(ffmpeg({"-i", "testsrc=size=321x241:duration=1", "-c:v", "ffv1", path("odd.mkv")}));
        QFile text(path("text.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a video\n") > 0);
    }

    void scalesToValidSize_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("codec");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("expected");
        QTest::addRow("hap rounds up") << "clip.mp4" << kHap << QSize(162, 121) << "hap,164,124";
        QTest::addRow("hap valid size") << "clip.mp4" << kHap << QSize(160, 120) << "hap,160,120";
        QTest::addRow("h264 rounds up") << "clip.mp4" << kH264 << QSize(161, 121) << "h264,162,122";
        QTest::addRow("hap source size") << "clip.mp4" << kHap << QSize(0, 0) << "hap,324,244";
        QTest::addRow("hap odd source") << "odd.mkv" << kHap << QSize(-1, -1) << "hap,324,244";
        QTest::addRow("h264 odd source") << "odd.mkv" << kH264 << QSize(0, 0) << "h264,322,242";
    }

    void scalesToValidSize()
    {
        QFETCH(QString, source);
        QFETCH(int, codec);
        QFETCH(QSize, size);
        QFETCH(QString, expected);
        Job job;
        job.start(path(source), path("sized.mkv"), codec, size.width(), size.height());
        QVERIFY(job.succeeds());
        QCOMPARE(probe(path("sized.mkv"), "v:0", "stream=width,height,codec_name"), expected);
        QCOMPARE(probe(path("sized.mkv"), "v:0", "format=format_name"), R"("matroska,webm")");
    }

    void keepsSourceAudio()
    {
        Job job;
        job.start(path("clip.mp4"), path("audio.mkv"), Tool::Hap);
        QVERIFY(job.succeeds());
        QCOMPARE(probe(path("audio.mkv"), "a", "stream=codec_type"), "audio");
    }

    void reportsRisingFractionsThenOneDone()
    {
        Job job;
        QElapsedTimer clock;
        clock.start();
        job.start(path("long.mp4"), path("done.mkv"), Tool::H264);
        QVERIFY(job.succeeds());
        const qint64 tookMs = clock.elapsed();
        QVERIFY(!job.progress.wait(1500));
        QVERIFY2(job.progress.size() >= 3, "expected reports while ffmpeg runs");
        QVERIFY(job.progress.size() <= tookMs / 100 + 2); // about ten a second at most
        QList<float> fractions;
        for (const QVariantList &report : qAsConst(job.progress)) {
            QCOMPARE(report.at(0).toString(), "job");
            fractions << report.at(1).toFloat();
        }
        QVERIFY(std::is_sorted(fractions.cbegin(), fractions.cend()));
        QCOMPARE(fractions.count(1.0f), 1);
        QCOMPARE(fractions.last(), 1.0f);
    }

    void stopEndsJobSilentlyAndRemovesOutput()
    {
        Job job;
        job.start(path("long.mp4"), path("stopped.mkv"), Tool::H264);
        QVERIFY(job.progress.wait(kTimeoutMs));
        QVERIFY(job.progress.last().at(1).toFloat() < 1.0f);
        job.tool.stopOne("job");
        job.progress.clear();
        QVERIFY(!job.progress.wait(1500));
        QVERIFY(job.failed.isEmpty());
        QVERIFY(!QFile::exists(path("stopped.mkv")));
        // ffmpeg has ended: the tool takes the next job.
        job.start(path("clip.mp4"), path("next.mkv"), Tool::H264);
        QVERIFY(job.succeeds());
    }

    void stopOfAnotherJobIsIgnored()
    {
        Job job;
        job.start(path("clip.mp4"), path("goes-on.mkv"), Tool::H264);
        job.tool.stopOne("other");
        QVERIFY(job.succeeds());
        QCOMPARE(probe(path("goes-on.mkv"), "v:0", "stream=codec_name"), "h264");
    }

    void crashFailsAndRemovesPartialOutput()
    {
        Job job;
        job.start(path("long.mp4"), path("crashed.mkv"), Tool::H264);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path("crashed.mkv")).size() > 0, kTimeoutMs);
        const QProcess *ffmpeg = job.tool.findChild<QProcess *>();
        QVERIFY(ffmpeg && ffmpeg->processId() > 0);
        QCOMPARE(::kill(pid_t(ffmpeg->processId()), SIGKILL), 0); // as if ffmpeg crashed
        QTRY_COMPARE_WITH_TIMEOUT(job.failed.size(), 1, kTimeoutMs);
        QVERIFY(!job.failed.first().at(1).toString().isEmpty());
        QVERIFY(!QFile::exists(path("crashed.mkv")));
        QCOMPARE(job.doneReports(), 0);
    }

    void failureLeavesNoOutput_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("hideFfmpeg");
        QTest::addRow("missing source") << "absent.mp4" << kH264 << 0 << false;
        QTest::addRow("unknown codec") << "clip.mp4" << 0 << 0 << false;
        QTest::addRow("not a video") << "text.mp4" << kHap << 0 << false;
        QTest::addRow("encoder refuses size") << "clip.mp4" << kH264 << 100000 << false;
        QTest::addRow("ffmpeg cannot start") << "clip.mp4" << kH264 << 0 << true;
    }

    void failureLeavesNoOutput()
    {
        QFETCH(QString, source);
        QFETCH(int, codec);
        QFETCH(int, size);
        QFETCH(bool, hideFfmpeg);
        const QByteArray searchPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", searchPath); });
        if (hideFfmpeg)
            qputenv("PATH", QFile::encodeName(path("no-tools")));
        Job job;
        job.start(path(source), path("failed.mkv"), codec, size, size);
        QTRY_COMPARE_WITH_TIMEOUT(job.failed.size(), 1, kTimeoutMs);
        QCOMPARE(job.failed.first().at(0).toString(), "job");
        QVERIFY(!job.failed.first().at(1).toString().isEmpty());
        QVERIFY(!QFile::exists(path("failed.mkv")));
        QCOMPARE(job.doneReports(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTranscodingTool)

#include "tst_transcodingtool.moc"

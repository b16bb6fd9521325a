#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QtTest>

#include <algorithm>
#include <signal.h>

using Tool = UI_Proc_TranscodingTool_Desktop;

static constexpr int kTimeoutMs = 60000;
static constexpr int kHap = Tool::Hap, kH264 = Tool::H264, kHapQ = Tool::HapQ;
static constexpr int kHapAlpha = Tool::HapAlpha;

// One line per stream (codec, and the size of a video), then the container.
static QStringList probe(const QString &file)
{
    const QString entries("-v error -of csv=p=0 -show_entries "
                          "stream=codec_name,codec_tag_string,width,height:format=format_name");
    QProcess process;
    process.start("ffprobe", entries.split(' ') << file);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed().split('\n');
}

// One tool and what it reports.
struct Job
{
    Tool tool{nullptr, 1};
    QSignalSpy progress{&tool, &Tool::updateProgress};
    QSignalSpy failed{&tool, &Tool::transcodeFailed};
    void start(const QString &source, const QString &output, int codec, int side = 0)
    {
        tool.transcodeOne("job", source, output, codec, side, side, -1, -1, -1);
    }
    bool succeeds() // waits for the end; true when it was a success
    {
        const QVariantList done{"job", 1.0f};
        return QTest::qWaitFor([&] { return progress.contains(done) || !failed.isEmpty(); },
                               kTimeoutMs)
               && failed.isEmpty();
    }
};

class TestTranscodingTool : public QObject
{
    Q_OBJECT

    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        const QString clip(
                "-nostdin -loglevel error -y -f lavfi -i testsrc=size=%1:rate=25:"
                "duration=%2 -f lavfi -i sine -shortest -c:v %3 -pix_fmt yuv420p -c:a aac");
        const auto ffmpeg = [this](const QString &arguments, const QString &name) {
            return QProcess::execute("ffmpeg", arguments.split(' ') << path(name)) == 0;
        };
        QVERIFY(ffmpeg(clip.arg("321x241", "1", "ffv1"), "clip.mkv"));
        QVERIFY(ffmpeg(clip.arg("640x480", "25", "libx264"), "long.mp4"));
        QVERIFY(ffmpeg(clip.arg("321x241", "1", "png").replace("yuv420p", "rgba"), "alpha.mkv"));
        QVERIFY(QFile(path("empty.mp4")).open(QIODevice::WriteOnly));
    }

    void scalesToValidSize_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("side"); // asked width and height; 0 or less: the source size
        QTest::addColumn<QString>("video");
        QTest::addRow("hap multiple of 4") << "clip.mkv" << kHap << 161 << "hap,Hap1,164,164";
        QTest::addRow("h264 even") << "clip.mkv" << kH264 << 161 << "h264,[0][0][0][0],162,162";
        QTest::addRow("hap source size") << "clip.mkv" << kHap << -1 << "hap,Hap1,324,244";
        QTest::addRow("h264 source size")
                << "clip.mkv" << kH264 << 0 << "h264,[0][0][0][0],322,242";
        QTest::addRow("hap q") << "clip.mkv" << kHapQ << 0 << "hap,HapY,324,244";
        QTest::addRow("hap alpha") << "alpha.mkv" << kHapAlpha << 0 << "hap,Hap5,324,244";
    }

    // A Matroska file that keeps the audio; a stop for another job does not touch it.
    void scalesToValidSize()
    {
        QFETCH(QString, source);
        QFETCH(int, codec);
        QFETCH(int, side);
        QFETCH(QString, video);
        Job job;
        job.start(path(source), path("sized.mkv"), codec, side);
        job.tool.stopOne("other");
        QVERIFY(job.succeeds());
        QCOMPARE(probe(path("sized.mkv")),
                 (QStringList{video, "aac,[0][0][0][0]", R"("matroska,webm")"}));
        QVERIFY(QFile::remove(path("sized.mkv"))); // an output is never overwritten
    }

    // A stopped job ends silently without output; the next one reports rising fractions and
    // 1.0 exactly once at its end.
    void stopThenNextJobReportsProgress()
    {
        Job job;
        job.start(path("long.mp4"), path("stopped.mkv"), kH264);
        QVERIFY(job.progress.wait(kTimeoutMs));
        QVERIFY(job.progress.last().at(1).toFloat() < 1.0f);
        job.tool.stopOne("job");
        job.progress.clear();
        QVERIFY(!job.progress.wait(1500));
        QVERIFY(job.failed.isEmpty());
        QVERIFY(!QFile::exists(path("stopped.mkv")));
        job.start(path("long.mp4"), path("done.mkv"), kH264);
        QVERIFY(job.succeeds());
        QVERIFY(!job.progress.wait(1500));
        QVERIFY2(job.progress.size() >= 3, "expected reports while ffmpeg runs");
        QList<float> fractions;
        for (const QVariantList &report : qAsConst(job.progress))
            fractions << report.at(1).toFloat();
        QVERIFY(std::is_sorted(fractions.cbegin(), fractions.cend()));
        QCOMPARE(fractions.indexOf(1.0f), fractions.size() - 1); // the one 1.0 ends them
    }

    void failureLeavesNoOutput_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("side");
        QTest::addColumn<QString>("ffmpeg"); // "hidden": not on the path; "killed": mid-job;
                                             // "user's": the output name is a file of the user's
        QTest::addRow("output is the user's file") << "clip.mkv" << kH264 << 0 << "user's";
        QTest::addRow("unknown codec") << "clip.mkv" << 0 << 0 << "";
        QTest::addRow("hap alpha without alpha") << "long.mp4" << kHapAlpha << 0 << "alpha";
        QTest::addRow("not a video") << "empty.mp4" << kHap << 0 << "";
        QTest::addRow("encoder refuses size") << "clip.mkv" << kH264 << 100000 << "";
        QTest::addRow("ffmpeg cannot start") << "clip.mkv" << kH264 << 0 << "hidden";
        QTest::addRow("ffmpeg crashes") << "long.mp4" << kH264 << 0 << "killed";
    }

    void failureLeavesNoOutput()
    {
        QFETCH(QString, source);
        QFETCH(int, codec);
        QFETCH(int, side);
        QFETCH(QString, ffmpeg);
        const QByteArray searchPath = qgetenv("PATH"); // the tool looks ffmpeg up as it starts
        qputenv("PATH", ffmpeg == "hidden" ? QFile::encodeName(path("no-tools")) : searchPath);
        QFile users(path("failed.mkv"));
        if (ffmpeg == "user's")
            QVERIFY(users.open(QIODevice::WriteOnly) && users.write("mine") == 4 && users.flush());
        Job job;
        job.start(path(source), path("failed.mkv"), codec, side);
        qputenv("PATH", searchPath);
        if (ffmpeg == "killed") { // once it has written part of the output
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path("failed.mkv")).size() > 0, kTimeoutMs);
            QCOMPARE(::kill(pid_t(job.tool.findChild<QProcess *>()->processId()), SIGKILL), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(job.failed.size(), 1, kTimeoutMs);
        QCOMPARE(job.failed.first().at(0).toString(), "job");
        QVERIFY(!job.failed.first().at(1).toString().isEmpty());
        if (ffmpeg == "alpha")
            QVERIFY(job.failed.first().at(1).toString().contains("alpha channel"));
        if (ffmpeg == "user's") {
            QVERIFY(job.failed.first().at(1).toString().contains("exists"));
            QCOMPARE(QFileInfo(path("failed.mkv")).size(), 4); // neither overwritten nor removed
            QVERIFY(users.remove());
        }
        QVERIFY(!QFile::exists(path("failed.mkv")));
    }
};

QTEST_GUILESS_MAIN(TestTranscodingTool)

#include "tst_transcodingtool.moc"

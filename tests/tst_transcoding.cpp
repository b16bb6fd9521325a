#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "model/foldermodel.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QProcess>
#include <QtTest>

namespace {

bool makeClip(const QString &path, const QString &size, int seconds)
{
    return QProcess::execute("ffmpeg",
                             {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                              QString("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                              "-c:v", "libx264", "-pix_fmt", "yuv420p", path})
           == 0;
}

// The page's transcode dialog: its properties and the signal that starts a transcode.
class Dialog : public QObject
{
    Q_OBJECT
signals:
    void quitApplication();
};

} // namespace

class TestTranscoding : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void finishedItemJobAddsTheOutputAboveItsSource();
    void stoppingItemJobs_data();
    void stoppingItemJobs();
    void failureEndsTheJobAndTellsThePage();
    void pathJobsReportThroughSignals();
    void stoppingAPathStopsAllItsRequests();
    void signalListMarksTheStoredRecord_data();
    void signalListMarksTheStoredRecord();
    void dialogStartsTheFocusedItemOrAPath();
    void outputFileNames_data();
    void outputFileNames();

private:
    // A facade whose folder holds copies of the prepared clips, every row shown.
    struct Page
    {
        explicit Page(const QStringList &clips, const QString &from)
            : tester(facade->folderModel(), QAbstractItemModelTester::FailureReportingMode::QtTest)
        {
            facade->setMsgBox(&messageBox);
            for (const QString &clip : clips)
                QFile::copy(QDir(from).filePath(clip), folder.filePath(clip));
            QSignalSpy ended(facade.get(), &UI_Proc_SignalCustomFolder_Desktop::loadFolderEnded);
            facade->addFolders({folder.path()});
            ended.wait(20000);
            show();
        }
        void show() { rowNames(*model(), model()->index(0, 0)); }
        FolderModel *model() const { return static_cast<FolderModel *>(facade->folderModel()); }
        int idOf(const QString &name) const
        {
            return model()->idOfKey(FolderModel::itemKey(folder.filePath(name), 0));
        }
        int progressOf(const QString &name) const
        {
            return model()->recordOf(idOf(name)).value("transcodeProgress").toInt();
        }
        bool settle() const
        {
            return QTest::qWaitFor([this] { return !model()->isBusy(); }, 60000);
        }

        ProjectDir project;
        QTemporaryDir folder;
        std::unique_ptr<UI_Proc_SignalCustomFolder_Desktop> facade{
                static_cast<UI_Proc_SignalCustomFolder_Desktop *>(
                        UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider(nullptr,
                                                                                  nullptr))};
        QAbstractItemModelTester tester;
        QObject messageBox;
    };

    QTemporaryDir clips;
};

void TestTranscoding::initTestCase()
{
    QVERIFY(makeClip(clips.filePath("short.mp4"), "320x240", 2));
    QVERIFY(makeClip(clips.filePath("other.mp4"), "320x240", 2));
    QVERIFY(makeClip(clips.filePath("long.mp4"), "640x360", 10));
    QFile broken(clips.filePath("broken.mp4"));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a video") > 0);
}

void TestTranscoding::finishedItemJobAddsTheOutputAboveItsSource()
{
    Page page({"short.mp4", "other.mp4"}, clips.path());
    const QModelIndex root = page.model()->index(0, 0);
    QCOMPARE(rowNames(*page.model(), root), (QStringList{"short.mp4", "other.mp4"}));
    QVERIFY(!page.facade->checkIfTranscoding());

    emit page.facade->transcode(page.idOf("short.mp4"), "h264", 161, 119);
    QCOMPARE(page.progressOf("short.mp4"), 0);
    QVERIFY(page.facade->isTranscodingVideoInFolder(
            page.model()->idOfKey(FolderModel::itemKey(page.folder.path(), 0))));
    QTRY_COMPARE_WITH_TIMEOUT(page.progressOf("short.mp4"), 100, 30000);
    QVERIFY(!page.facade->isTranscodingVideoInFolder());
    QCOMPARE(rowNames(*page.model(), root),
             (QStringList{"VEK_short.mkv", "short.mp4", "other.mp4"}));

    QVERIFY(page.settle());
    const QVariantMap output = page.model()->recordOf(page.idOf("VEK_short.mkv"));
    QCOMPARE(output.value("isTranscoded"), QVariant(true));
    QCOMPARE(output.value("info").toMap().value("frameWidth"), QVariant(162)); // even for H.264
    QCOMPARE(output.value("info").toMap().value("frameHeight"), QVariant(120));
    for (const QVariantMap &row : storedRows(page.project.path())) {
        if (row.value("uuid") == output.value("uuid"))
            QCOMPARE(row.value("isTranscoded").toBool(), true);
    }

    // A second transcode replaces the earlier output's row.
    emit page.facade->transcode(page.idOf("short.mp4"), "HAP", 0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(page.progressOf("short.mp4"), 100, 30000);
    QVERIFY(page.settle());
    QCOMPARE(rowNames(*page.model(), root),
             (QStringList{"VEK_short.mkv", "short.mp4", "other.mp4"}));
}

void TestTranscoding::stoppingItemJobs_data()
{
    QTest::addColumn<QString>("stopped");
    QTest::addColumn<QString>("finished");
    QTest::addRow("the running job, while another waits") << "long.mp4"
                                                          << "short.mp4";
    QTest::addRow("a queued job, while another runs") << "short.mp4"
                                                      << "long.mp4";
}

void TestTranscoding::stoppingItemJobs()
{
    QFETCH(QString, stopped);
    QFETCH(QString, finished);
    Page page({"long.mp4", "short.mp4"}, clips.path());
    emit page.facade->transcode(page.idOf("long.mp4"), "H264", 320, 180);
    emit page.facade->transcode(page.idOf("short.mp4"), "H264", 160, 120);
    QTRY_VERIFY(page.facade->checkIfTranscoding());

    emit page.facade->stopTranscode(page.idOf(stopped));
    QCOMPARE(page.progressOf(stopped), -1);
    QTRY_COMPARE_WITH_TIMEOUT(page.progressOf(finished), 100, 60000);
    QVERIFY(page.settle());
    QCOMPARE(page.progressOf(stopped), -1);
    const QString output = "VEK_" + QFileInfo(stopped).baseName() + ".mkv";
    QVERIFY(!QFileInfo::exists(page.folder.filePath(output)));
    QVERIFY(!rowNames(*page.model(), page.model()->index(0, 0)).contains(output));
}

void TestTranscoding::failureEndsTheJobAndTellsThePage()
{
    Page page({"broken.mp4", "short.mp4"}, clips.path());
    QSignalSpy failed(page.facade.get(), &UI_Proc_SignalCustomFolder_Desktop::transcodeFailed);
    emit page.facade->transcode(page.idOf("broken.mp4"), "H264", 0, 0);
    emit page.facade->transcode(page.idOf("short.mp4"), "H264", 0, 0);
    QVERIFY(failed.wait(30000));
    QCOMPARE(page.progressOf("broken.mp4"), -1);
    QVERIFY(page.messageBox.property("visible").toBool());
    QVERIFY(page.messageBox.property("informText").toString().contains("ffmpeg"));
    QTRY_COMPARE_WITH_TIMEOUT(page.progressOf("short.mp4"), 100, 30000);
}

void TestTranscoding::pathJobsReportThroughSignals()
{
    Page page({}, clips.path());
    const QString source = clips.filePath("short.mp4");
    using Facade = UI_Proc_SignalCustomFolder_Desktop;
    QSignalSpy began(page.facade.get(), &Facade::beginVideoFileTranscoding);
    QSignalSpy progress(page.facade.get(), &Facade::transcodingProgressChanged);
    QSignalSpy done(page.facade.get(), &Facade::videoFileTranscoded);
    emit page.facade->registerExternalTranscodeFile(source, "{file}");
    QVERIFY(!page.facade->checkExternalTranscoding(source));
    emit page.facade->transcode(source, "H264", 0, 0);
    QVERIFY(page.facade->checkExternalTranscoding(source));
    QVERIFY(began.wait());
    QCOMPARE(began.at(0).at(0).toString(), "{file}");

    QVERIFY(done.wait(30000));
    const QString output = clips.filePath("VEK_short.mkv");
    QCOMPARE(QUrl(done.at(0).at(1).toString()).toLocalFile(), output);
    QCOMPARE(progress.last().at(1).toInt(), 100);
    QVERIFY(!page.facade->checkExternalTranscoding(source));
    QVERIFY(QFileInfo(output).size() > 0);
    QFile::remove(output);
}

void TestTranscoding::stoppingAPathStopsAllItsRequests()
{
    Page page({}, clips.path());
    const QString source = clips.filePath("long.mp4");
    QSignalSpy stopped(page.facade.get(),
                       &UI_Proc_SignalCustomFolder_Desktop::videoFileTranscodingStopped);
    emit page.facade->registerExternalTranscodeFile(source, "{long}");
    emit page.facade->transcode(source, "H264", 0, 0);
    emit page.facade->transcode(source, "H264", 0, 0);
    QTRY_VERIFY(page.facade->checkIfTranscoding());
    emit page.facade->stopTranscode(source);
    QTRY_COMPARE(stopped.count(), 2);
    QVERIFY(!page.facade->checkIfTranscoding());
    QVERIFY(!page.facade->checkExternalTranscoding(source));
    QVERIFY(page.settle());
    QVERIFY(!QFileInfo::exists(clips.filePath("VEK_long.mkv")));
}

void TestTranscoding::signalListMarksTheStoredRecord_data()
{
    QTest::addColumn<QString>("filePath"); // "OUT": the completed output; "REL": it, relative
    QTest::addColumn<bool>("marked");
    QTest::addRow("the output") << "OUT" << true;
    QTest::addRow("the output, relative") << "REL" << true;
    QTest::addRow("another file") << "other.mkv" << false;
    QTest::addRow("other letter case") << "UPPER" << false;
    QTest::addRow("not JSON") << "" << false;
}

void TestTranscoding::signalListMarksTheStoredRecord()
{
    QFETCH(QString, filePath);
    QFETCH(bool, marked);
    Page page({"short.mp4"}, clips.path());
    const QString uuid = page.model()->uuidOf(page.idOf("short.mp4"));
    QSignalSpy marks(page.facade.get(), &UI_Proc_SignalCustomFolder_Desktop::transcodeMarkFound);
    const QString source = page.folder.filePath("short.mp4");
    QSignalSpy done(page.facade.get(), &UI_Proc_SignalCustomFolder_Desktop::videoFileTranscoded);
    emit page.facade->registerExternalTranscodeFile(source, "{listed}");
    emit page.facade->transcode(source, "H264", 0, 0);
    QVERIFY(done.wait(30000));

    const QString output = page.folder.filePath("VEK_short.mkv");
    QDir::setCurrent(page.folder.path());
    const QString named = filePath == "OUT"     ? output
                          : filePath == "REL"   ? QString("VEK_short.mkv")
                          : filePath == "UPPER" ? output.toUpper()
                                                : filePath;
    const QString report
            = filePath.isEmpty()
                      ? QString("{not json")
                      : QString("{\"FilePath\":\"%1\",\"FileID\":\"%2\"}").arg(named, uuid);
    emit page.facade->monitoringSignalList(report);
    emit page.facade->checkTranscodeMark(uuid);
    emit page.facade->checkTranscodeMark("{no such record}");
    QTRY_COMPARE(marks.count(), 2);
    QCOMPARE(marks.at(0).at(1).toBool(), marked);
    QCOMPARE(marks.at(1), (QList<QVariant>{"{no such record}", false}));
    QCOMPARE(Ui_Proc_MediaInfo_Desktop(nullptr).getMediaInfo(uuid).isTranscoded, marked);
}

void TestTranscoding::dialogStartsTheFocusedItemOrAPath()
{
    auto facade = std::unique_ptr<UI_Proc_SignalCustomFolder_Desktop>(
            static_cast<UI_Proc_SignalCustomFolder_Desktop *>(
                    UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider(nullptr, nullptr)));
    using Facade = UI_Proc_SignalCustomFolder_Desktop;
    QSignalSpy byId(facade.get(), qOverload<int, const QString &, int, int>(&Facade::transcode));
    QSignalSpy byPath(facade.get(),
                      qOverload<const QString &, const QString &, int, int>(&Facade::transcode));
    auto dialog = std::make_unique<Dialog>();
    QObject treeView;
    treeView.setProperty("focusedFileIdx", 42);
    dialog->setProperty("isFromFolder", true);
    dialog->setProperty("videoType", "HAP");
    dialog->setProperty("videoWidth", "640");
    dialog->setProperty("videoHeight", "not a number");
    dialog->setProperty("videoPath", "/clips/a.mp4");
    facade->setTranscodeDialog(dialog.get());

    emit dialog->quitApplication(); // no tree view yet: nothing
    facade->setTreeView(&treeView);
    emit dialog->quitApplication();
    dialog->setProperty("isFromFolder", false);
    emit dialog->quitApplication();
    QCOMPARE(byId.count(), 1);
    QCOMPARE(byId.at(0), (QList<QVariant>{42, "HAP", 640, 0}));
    QCOMPARE(byPath.count(), 1);
    QCOMPARE(byPath.at(0), (QList<QVariant>{"/clips/a.mp4", "HAP", 640, 0}));

    dialog.reset();
    QVERIFY(!facade->transcodeDialog());
}

void TestTranscoding::outputFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output");
    QTest::addRow("plain") << "/media/show.mov"
                           << "/media/VEK_show.mkv";
    QTest::addRow("file URL") << QUrl::fromLocalFile("/media/show.mov").toString()
                              << "/media/VEK_show.mkv";
    QTest::addRow("several dots") << "/media/a.b.c.avi"
                                  << "/media/VEK_a.mkv";
    QTest::addRow("leading dot") << "/media/.hidden.mp4"
                                 << "/media/VEK_.mkv";
}

void TestTranscoding::outputFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    UI_Proc_SignalCustomFolder_Desktop facade;
    QCOMPARE(facade.transcodeOutputFileName(name), output);
}

QTEST_GUILESS_MAIN(TestTranscoding)
#include "tst_transcoding.moc"

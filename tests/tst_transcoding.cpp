#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "model/foldermodel.h"
#include "probe/toolprocess.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QAbstractItemModelTester>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

namespace {

using Facade = UI_Proc_SignalCustomFolder_Desktop;

// The page's transcode dialog: its properties and the signal that starts a transcode.
class Dialog : public QObject
{
    Q_OBJECT
signals:
    void quitApplication();
};

// A facade, with a message box, whose folder holds copies of the given clips ("sub/x.mp4": a
// copy of x.mp4 in a folder "sub").
struct Page
{
    Page(const QStringList &clips, const QString &from)
    {
        facade->setMsgBox(&messageBox);
        for (const QString &clip : clips) {
            QDir().mkpath(QFileInfo(folder.filePath(clip)).absolutePath());
            QFile::copy(QDir(from).filePath(QFileInfo(clip).fileName()), folder.filePath(clip));
        }
        QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
        facade->addFolders({folder.path()});
        ended.wait(20000);
    }
    QStringList rows() const { return rowNames(*model, model->index(0, 0)); }
    int idOf(const QString &name) const { return model->idOfKey(folder.filePath(name) + ":0"); }
    int progress(const QString &n)
    {
        return model->recordOf(idOf(n)).value("transcodeProgress", -1).toInt();
    }
    ProjectDir project;
    QTemporaryDir folder;
    std::unique_ptr<Facade> facade{
            static_cast<Facade *>(Facade::singletonTypeProvider(nullptr, nullptr))};
    FolderModel *model = static_cast<FolderModel *>(facade->folderModel());
    QAbstractItemModelTester tester{model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QObject messageBox;
};

} // namespace

class TestTranscoding : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void itemJobsRunInTurn();
    void transcodingAgain();
    void folderRequestTakesEveryVideoBelow();
    void queueSurvivesARestart();
    void stoppingJobs();
    void lateReportLeavesAProbeAlone();
    void pathJobThenSignalList_data();
    void pathJobThenSignalList();
    void dialogStartsTheFocusedItemOrAPath();
    void outputFileNames_data();
    void outputFileNames();

private:
    QTemporaryDir clips;
};

void TestTranscoding::initTestCase()
{
    const auto makeClip = [this](const QString &source, const QString &name) {
        const QString args
                = "-nostdin -v error -f lavfi -i testsrc=%1 -c:v libx264 -pix_fmt yuv420p";
        return QProcess::execute("ffmpeg",
                                 (args.arg(source) + " " + clips.filePath(name)).split(' '));
    };
    QCOMPARE(makeClip("size=320x240:d=2", "short.mp4"), 0);
    QCOMPARE(makeClip("size=640x360:d=10", "long.mp4"), 0);
    QVERIFY(QFile::copy(clips.filePath("short.mp4"), clips.filePath("other.mp4")));
    makeEntries(clips.path(), {"broken.mp4"}); // empty: not a video
}

// A failing job ends; the next job's output is listed directly above its source, once.
void TestTranscoding::itemJobsRunInTurn()
{
    Page page({"broken.mp4", "short.mp4", "other.mp4"}, clips.path());
    QSignalSpy failed(page.facade.get(), &Facade::transcodeFailed);
    emit page.facade->transcode(page.idOf("broken.mp4"), "H264", 0, 0);
    emit page.facade->transcode(page.idOf("other.mp4"), "h264", 161, 119);
    QCOMPARE(page.progress("other.mp4"), 0);
    const int folderId = page.model->idOfKey(page.folder.path() + ":0");
    QVERIFY(folderId > 0);
    QVERIFY(page.facade->isTranscodingVideoInFolder(folderId));
    QVERIFY(failed.wait(30000));
    QCOMPARE(page.progress("broken.mp4"), -1);
    QVERIFY(page.messageBox.property("visible").toBool());
    QVERIFY(page.messageBox.property("informText").toString().contains("ffmpeg"));
    QTRY_COMPARE_WITH_TIMEOUT(page.progress("other.mp4"), 100, 30000);
    QVERIFY(!page.facade->isTranscodingVideoInFolder());
    const QStringList rows{"short.mp4", "VEK_other.mkv", "other.mp4", "broken.mp4"};
    QCOMPARE(page.rows(), rows);
    QTRY_VERIFY_WITH_TIMEOUT(!page.model->isBusy(), 60000);
    const QVariantMap out = page.model->recordOf(page.idOf("VEK_other.mkv"));
    QCOMPARE(out.value("isTranscoded"), QVariant(true));
    const QVariantMap info = out["info"].toMap(); // H.264 rounds up to even sizes
    QCOMPARE((QVariantList{info["frameWidth"], info["frameHeight"]}), (QVariantList{162, 120}));
    QVERIFY(Ui_Proc_MediaInfo_Desktop(nullptr).getMediaInfo(out["uuid"].toString()).isTranscoded);
}

// Its own earlier output is replaced once the new one is complete, and kept when the new one
// fails; a file of the output's name that the library did not make is never touched.
void TestTranscoding::transcodingAgain()
{
    Page page({"short.mp4", "other.mp4"}, clips.path());
    QSignalSpy failed(page.model, &FolderModel::transcodeFailed); // the facade hears it later
    const auto transcode = [&page](const char *name, const char *type) {
        emit page.facade->transcode(page.idOf(name), type, 0, 0);
        return waitUntil([&] { return !page.model->isBusy(); }, 60000);
    };
    const auto bytesOf = [&page](const char *name) {
        QFile file(page.folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto encoding = [&page] {
        const QVariantMap info = page.model->recordOf(page.idOf("VEK_other.mkv"))["info"].toMap();
        return QJsonDocument::fromJson(info["detailInfo"].toByteArray())["Video"]["encoding"];
    };
    QVERIFY(transcode("other.mp4", "H264"));
    QCOMPARE(encoding().toString().left(4), "h264");
    QVERIFY(transcode("other.mp4", "HAP")); // the new format's bytes, in the same row
    QCOMPARE(failed.count(), 0);
    QCOMPARE(encoding().toString().left(3), "hap");
    const QStringList rows{"short.mp4", "VEK_other.mkv", "other.mp4"};
    QCOMPARE(page.rows(), rows);
    const QByteArray hap = bytesOf("VEK_other.mkv");

    QFile source(page.folder.filePath("other.mp4"));
    QVERIFY(source.open(QIODevice::WriteOnly | QIODevice::Truncate) && source.write("no video"));
    source.close();
    QVERIFY(transcode("other.mp4", "H264"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE((QVariantList{bytesOf("VEK_other.mkv"), page.rows()}), (QVariantList{hap, rows}));

    QFile foreign(page.folder.filePath("VEK_short.mkv"));
    QVERIFY(foreign.open(QIODevice::WriteOnly) && foreign.write("the operator's own"));
    foreign.close();
    QVERIFY(transcode("short.mp4", "H264"));
    QCOMPARE(failed.count(), 2);
    QVERIFY(failed.last().at(1).toString().contains("exists"));
    QCOMPARE(bytesOf("VEK_short.mkv"), "the operator's own");
    QCOMPARE(QDir(page.folder.path()).entryList({"*.part"}), QStringList());
}

// Outputs of the library's own are left out; a nested folder's videos are taken too.
void TestTranscoding::folderRequestTakesEveryVideoBelow()
{
    Page page({"short.mp4", "other.mp4", "sub/short.mp4"}, clips.path());
    emit page.facade->transcode(page.idOf("other.mp4"), "H264", 0, 0);
    QVERIFY(waitUntil([&] { return !page.model->isBusy(); }, 60000));
    const int root = page.model->idOfKey(page.folder.path() + ":0");
    emit page.facade->transcode(root, "HAP", 0, 0);
    QCOMPARE(page.progress("VEK_other.mkv"), -1);
    for (const char *name : {"short.mp4", "other.mp4", "sub/short.mp4"})
        QCOMPARE(page.progress(name), 0);
    QVERIFY(waitUntil([&] { return !page.model->isBusy(); }, 60000));
    QCOMPARE(page.rows(),
             (QStringList{"sub", "VEK_short.mkv", "short.mp4", "VEK_other.mkv", "other.mp4"}));
    QCOMPARE(rowNames(*page.model, childNamed(*page.model, page.model->index(0, 0), "sub")),
             (QStringList{"VEK_short.mkv", "short.mp4"}));
}

// The page sees the queue; a new start queues again what was running and waiting, the
// running one from its beginning.
void TestTranscoding::queueSurvivesARestart()
{
    Page page({"long.mp4", "short.mp4"}, clips.path());
    for (const char *name : {"long.mp4", "short.mp4"}) // upscaled: the first takes a while
        emit page.facade->transcode(page.idOf(name), "H264", 1920, 1080);
    // Stopped mid-way: its output is still a partial file, which small frames keep empty.
    QTRY_VERIFY_WITH_TIMEOUT(
            page.facade->transcodeQueue().value(0).toMap().value("progress").toInt() > 0, 30000);
    const QVariantList queue = page.facade->transcodeQueue();
    QCOMPARE(queue.size(), 2);
    QCOMPARE((QVariantList{queue[0].toMap()["path"], queue[0].toMap()["running"],
                           queue[1].toMap()["type"], queue[1].toMap()["running"]}),
             (QVariantList{page.folder.filePath("long.mp4"), true, "H264", false}));
    page.facade.reset();

    Facade restarted;
    emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    auto *model = static_cast<FolderModel *>(restarted.folderModel());
    QTRY_COMPARE_WITH_TIMEOUT(restarted.transcodeQueue().size(), 2, 30000);
    QVERIFY(waitUntil([&] { return !model->isBusy() && !restarted.checkIfTranscoding(); }, 60000));
    QCOMPARE(QDir(page.folder.path()).entryList({"VEK_*"}),
             (QStringList{"VEK_long.mkv", "VEK_short.mkv"}));
}

// A stopped job leaves no output and reports nothing more; the others go on.
void TestTranscoding::stoppingJobs()
{
    Page page({"long.mp4", "short.mp4", "other.mp4"}, clips.path());
    for (const char *name : {"long.mp4", "short.mp4", "other.mp4"})
        emit page.facade->transcode(page.idOf(name), "H264", 320, 180);
    QTRY_VERIFY(page.facade->checkIfTranscoding());
    emit page.facade->stopTranscode(page.idOf("long.mp4")); // running, while others wait
    QCOMPARE(page.progress("long.mp4"), -1);
    QTRY_VERIFY(page.facade->checkIfTranscoding());
    emit page.facade->stopTranscode(page.idOf("other.mp4")); // queued, while another runs
    QCOMPARE(page.progress("other.mp4"), -1);
    QTRY_COMPARE_WITH_TIMEOUT(page.progress("short.mp4"), 100, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!page.model->isBusy(), 60000);
    QCOMPARE(page.progress("long.mp4") + page.progress("other.mp4"), -2); // no late report
    QCOMPARE(page.rows(), (QStringList{"VEK_short.mkv", "short.mp4", "other.mp4", "long.mp4"}));
    QCOMPARE(QDir(page.folder.path()).entryList({"VEK_*"}), QStringList{"VEK_short.mkv"});

    emit page.facade->transcode(page.idOf("other.mp4"), "H264", 320, 180);
    emit page.facade->stopTranscode(page.idOf("other.mp4")); // before the request could start
    QVERIFY(waitUntil([&] { return !page.model->isBusy(); }, 60000));
    QCOMPARE(page.progress("other.mp4"), -1);
    QCOMPARE(QDir(page.folder.path()).entryList({"VEK_*"}), QStringList{"VEK_short.mkv"});

    const QString source = clips.filePath("long.mp4"); // a path stops all its requests
    QSignalSpy stopped(page.facade.get(), &Facade::videoFileTranscodingStopped);
    emit page.facade->registerExternalTranscodeFile(source, "{long}");
    emit page.facade->transcode(source, "H264", 0, 0);
    emit page.facade->transcode(source, "H264", 0, 0);
    QTRY_VERIFY(page.facade->checkIfTranscoding());
    emit page.facade->stopTranscode(source);
    QTRY_COMPARE(stopped.count(), 2);
    QVERIFY(!page.facade->checkIfTranscoding());
    QVERIFY(!page.facade->checkExternalTranscoding(source));
    QTRY_VERIFY_WITH_TIMEOUT(!page.model->isBusy(), 60000);
    QVERIFY(!QFileInfo::exists(clips.filePath("VEK_long.mkv")));

    // Stop all: the running one, the waiting items and the waiting file.
    for (const char *name : {"long.mp4", "other.mp4"})
        emit page.facade->transcode(page.idOf(name), "H264", 320, 180);
    emit page.facade->transcode(source, "H264", 0, 0);
    QTRY_VERIFY(page.facade->checkIfTranscoding());
    stopped.clear();
    page.facade->stopAllTranscodes();
    QCOMPARE((QVariantList{page.facade->transcodeQueue().size(), page.progress("long.mp4"),
                           page.progress("other.mp4")}),
             (QVariantList{0, -1, -1}));
    QTRY_COMPARE(stopped.count(), 1); // the file's, which the facade relays later
    QVERIFY(waitUntil([&] { return !page.model->isBusy(); }, 60000));
    QCOMPARE(QDir(page.folder.path()).entryList({"VEK_*"}), QStringList{"VEK_short.mkv"});
}

void TestTranscoding::pathJobThenSignalList_data()
{
    QTest::addColumn<QString>("listed"); // {dir}: the page's folder; empty: a report not in JSON
    QTest::addColumn<bool>("marked");
    QTest::addRow("the output") << "{dir}/VEK_short.mkv" << true;
    QTest::addRow("the output, relative") << "VEK_short.mkv" << true;
    QTest::addRow("another file") << "{dir}/other.mkv" << false;
    QTest::addRow("other letter case") << "{DIR}/VEK_SHORT.MKV" << false;
    QTest::addRow("not JSON") << "" << false;
}

// A job on a path reports through signals; its listed output marks the record named with it.
void TestTranscoding::pathJobThenSignalList()
{
    QFETCH(QString, listed);
    QFETCH(bool, marked);
    Page page({"short.mp4"}, clips.path());
    const QString uuid = page.model->uuidOf(page.idOf("short.mp4"));
    const QString source = page.folder.filePath("short.mp4");
    QSignalSpy began(page.facade.get(), &Facade::beginVideoFileTranscoding);
    QSignalSpy progress(page.facade.get(), &Facade::transcodingProgressChanged);
    QSignalSpy done(page.facade.get(), &Facade::videoFileTranscoded);
    QSignalSpy marks(page.facade.get(), &Facade::transcodeMarkFound);
    emit page.facade->registerExternalTranscodeFile(source, "{file}");
    emit page.facade->transcode(source, "H264", 0, 0);
    QVERIFY(page.facade->checkExternalTranscoding(source));
    QVERIFY(done.wait(30000));
    QCOMPARE(began.at(0), QVariantList{"{file}"});
    QCOMPARE(progress.last(), (QVariantList{"{file}", 100}));
    QCOMPARE(done.at(0),
             (QVariantList{"{file}", "file://" + page.folder.filePath("VEK_short.mkv")}));
    QVERIFY(!page.facade->checkExternalTranscoding(source));
    QDir::setCurrent(page.folder.path());
    listed.replace("{dir}", page.folder.path()).replace("{DIR}", page.folder.path().toUpper());
    emit page.facade->monitoringSignalList(
            listed.isEmpty() ? "{not json"
                             : QString(R"({"FilePath":"%1","FileID":"%2"})").arg(listed, uuid));
    emit page.facade->checkTranscodeMark(uuid);
    QTRY_COMPARE(marks.count(), 1);
    QCOMPARE(marks.at(0), (QVariantList{uuid, marked}));
}

// A report of a stopped transcode can arrive after its job left the queue; it must not end
// the probe that runs in its place.
void TestTranscoding::lateReportLeavesAProbeAlone()
{
    ProjectDir project;
    QTemporaryDir dir;
    QVERIFY(QFile::copy(clips.filePath("short.mp4"), dir.filePath("short.mp4")));
    FolderModel model(nullptr);
    auto *tool = model.findChild<UI_Proc_TranscodingTool_Desktop *>();
    for (ToolProcess *probe : model.findChildren<ToolProcess *>())
        connect(probe, &ToolProcess::started, tool,
                [tool] { emit tool->updateProgress("stopped", 1.0f); });
    QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
    model.addFolder(dir.path());
    QVERIFY(ended.wait(30000));
    const QVariantMap clip = model.recordOf(model.idOfKey(dir.filePath("short.mp4") + ":0"));
    QCOMPARE(clip.value("info").toMap().value("frameWidth"), QVariant(320));
    QVERIFY(!clip.contains("transcodeProgress"));
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
}

void TestTranscoding::dialogStartsTheFocusedItemOrAPath()
{
    ProjectDir project;
    Facade facade;
    QSignalSpy byId(&facade, qOverload<int, const QString &, int, int>(&Facade::transcode));
    QSignalSpy byPath(&facade,
                      qOverload<const QString &, const QString &, int, int>(&Facade::transcode));
    auto dialog = std::make_unique<Dialog>();
    dialog->setProperty("isFromFolder", true);
    dialog->setProperty("videoType", "HAP");
    dialog->setProperty("videoWidth", "640");
    dialog->setProperty("videoPath", "/clips/a.mp4");
    facade.setTranscodeDialog(dialog.get());
    QObject treeView;
    treeView.setProperty("focusedFileIdx", 42);
    emit dialog->quitApplication(); // no tree view yet: nothing
    facade.setTreeView(&treeView);
    emit dialog->quitApplication();
    dialog->setProperty("isFromFolder", false);
    emit dialog->quitApplication();
    QCOMPARE(QList<QVariantList>(byId), QList<QVariantList>{(QVariantList{42, "HAP", 640, 0})});
    QCOMPARE(QList<QVariantList>(byPath),
             QList<QVariantList>{(QVariantList{"/clips/a.mp4", "HAP", 640, 0})});
    dialog.reset();
    QVERIFY(!facade.transcodeDialog());
}

void TestTranscoding::outputFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output");
    QTest::addRow("file URL") << "file:///media/show.mov" << QString("/media/VEK_show.mkv");
    QTest::addRow("several dots") << "/media/a.b.c.avi" << QString("/media/VEK_a.mkv");
    QTest::addRow("leading dot") << "/media/.hidden.mp4" << QString("/media/VEK_.mkv");
}

void TestTranscoding::outputFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    ProjectDir project;
    QCOMPARE(Facade().transcodeOutputFileName(name), output);
}

QTEST_GUILESS_MAIN(TestTranscoding)
#include "tst_transcoding.moc"

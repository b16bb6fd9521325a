#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QtTest>

namespace {

using Facade = UI_Proc_SignalCustomFolder_Desktop;

// The page's folder tab; counts how often the facade writes to it.
class TabItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isExpanded MEMBER expanded WRITE setExpanded)
public:
    void setExpanded(bool value) { expanded = value, ++writes; }
    bool expanded = false;
    int writes = 0;
};

} // namespace

class TestFacade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void providerMakesANewFacadeEachTime();
    void tabIsExpandedBeforeThePageHearsOfTheLoad_data();
    void tabIsExpandedBeforeThePageHearsOfTheLoad();
    void errorCodesReachTheMessageBox_data();
    void errorCodesReachTheMessageBox();
    void problemsReachTheMessageBoxOnce_data();
    void problemsReachTheMessageBoxOnce();
    void itemQueriesReadTheModel();
    void dragData_data();
    void dragData();

private:
    // A folder with an item of every kind, added once for the queries and the drag data.
    ProjectDir project;
    QTemporaryDir media;
    Facade scanned;
    QAbstractItemModel *model = scanned.folderModel();
    QAbstractItemModelTester tester{model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    int idOf(const QString &name) const // "": the folder
    {
        const QModelIndex root = model->index(0, 0);
        return fileInfo(name.isEmpty() ? root : childNamed(*model, root, name))["fileIdx"].toInt();
    }
};

void TestFacade::initTestCase()
{
    makeEntries(media.path(), {"sub/", "deck.pptx"});
    const QString args = "-nostdin -v error -f lavfi -i testsrc=d=2 %1/clip.mp4 "
                         "-f lavfi -i sine=d=1 %1/song.mp3";
    QCOMPARE(QProcess::execute("ffmpeg", args.arg(media.path()).split(' ')), 0);
    QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(media.filePath("photo.png")));
    // What is not a folder comes back as given; a file URL of a folder is taken.
    const QString clip = QUrl::fromLocalFile(media.filePath("clip.mp4")).toString();
    QSignalSpy ended(&scanned, &Facade::loadFolderEnded);
    QCOMPARE(scanned.addFolders({QUrl::fromLocalFile(media.path()).toString(), clip, "/no/such"}),
             (QVariantList{clip, "/no/such"}));
    QVERIFY(ended.wait(20000));
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(scanned.itemPath(idOf("")), media.path());
}

void TestFacade::providerMakesANewFacadeEachTime()
{
    const std::unique_ptr<QObject> first(Facade::singletonTypeProvider(nullptr, nullptr));
    const std::unique_ptr<QObject> second(Facade::singletonTypeProvider(nullptr, nullptr));
    QVERIFY(first != second);
    const auto *folderModel = first->property("folderModel").value<QAbstractItemModel *>();
    QVERIFY(folderModel && folderModel->parent() == first.get());
}

void TestFacade::tabIsExpandedBeforeThePageHearsOfTheLoad_data()
{
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<int>("writes");
    QTest::addRow("collapsed tab") << false << 1;
    QTest::addRow("expanded tab, not written again") << true << 0;
}

void TestFacade::tabIsExpandedBeforeThePageHearsOfTheLoad()
{
    QFETCH(bool, expanded);
    QFETCH(int, writes);
    Facade facade;
    TabItem tab;
    tab.expanded = expanded;
    facade.setTabItem(&tab);
    QVector<bool> expandedWhenHeard;
    connect(&facade, &Facade::loadFolderBegan, this, [&] { expandedWhenHeard << tab.expanded; });
    QSignalSpy ended(&facade, &Facade::loadFolderEnded);
    emit facade.addFolder(media.filePath("sub"));
    QCOMPARE(expandedWhenHeard, QVector<bool>{true});
    QVERIFY(ended.wait());
    QCOMPARE(tab.writes, writes);
}

void TestFacade::errorCodesReachTheMessageBox_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addRow("adding") << 0 << "A Folder is being added, cannot add new folder";
    QTest::addRow("too deep") << 1 << "Cannot read folders more than 10 layers";
    QTest::addRow("unknown") << 2 << "";
}

void TestFacade::errorCodesReachTheMessageBox()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    Facade facade;
    QSignalSpy adding(&facade, &Facade::addingFolder);
    QSignalSpy tooDeep(&facade, &Facade::exceedTenLayer);
    auto box = std::make_unique<QObject>();
    facade.setMsgBox(box.get());
    QMetaObject::invokeMethod(facade.folderModel(), "errorOccured", Q_ARG(int, code));
    QCOMPARE(adding.count(), int(code == 0));
    QCOMPARE(tooDeep.count(), int(code == 1));
    QCOMPARE(box->property("informText").toString(), text);
    QCOMPARE(box->property("visible").toBool(), !text.isEmpty());
    box.reset(); // a message box that is gone is left alone, and nothing more is reported
    facade.onErrorOccured("nobody reads this");
    QMetaObject::invokeMethod(facade.folderModel(), "errorOccured", Q_ARG(int, code));
    QCOMPARE(adding.count() + tooDeep.count(), int(!text.isEmpty()));
}

void TestFacade::problemsReachTheMessageBoxOnce_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("said");
    QTest::addRow("ffmpeg missing") << "no ffmpeg"
                                    << "Install ffmpeg";
    QTest::addRow("folder removed while scanned") << "removed"
                                                  << "was removed from the disk";
}

// Once a load, however many items meet the problem.
void TestFacade::problemsReachTheMessageBoxOnce()
{
    QFETCH(QString, problem);
    QFETCH(QString, said);
    QTemporaryDir folder;
    for (const char *name : {"a.mp4", "b.mp4", "c.mp3"})
        QVERIFY(QFile::copy(media.filePath(name[2] == '3' ? "song.mp3" : "clip.mp4"),
                            folder.filePath(name)));
    const QByteArray searchPath = qgetenv("PATH");
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", searchPath); });
    if (problem == "no ffmpeg")
        qputenv("PATH", QFile::encodeName(folder.filePath("no-tools")));
    Facade facade;
    QObject box;
    facade.setMsgBox(&box);
    QSignalSpy reported(facade.folderModel(), SIGNAL(problemReported(QString)));
    QSignalSpy ended(&facade, &Facade::loadFolderEnded);
    facade.addFolders({folder.path()});
    if (problem == "removed")
        QVERIFY(folder.remove());
    QVERIFY(ended.wait(20000));
    QCOMPARE(reported.count(), 1);
    QVERIFY(box.property("visible").toBool());
    QVERIFY(box.property("informText").toString().contains(said));
}

void TestFacade::itemQueriesReadTheModel()
{
    const int song = idOf("song.mp3");
    QCOMPARE(scanned.itemPath(song), media.filePath("song.mp3"));
    QCOMPARE(scanned.itemProperty(song, "info").toMap()["frameWidth"], QVariant(400));
    QVERIFY(!scanned.itemProperty(song, "no such key").isValid());
    QVERIFY(scanned.itemPath(987654).isEmpty());
    QVariantList uuids; // a folder's children, in row order, then the folder itself
    for (const QString &name : rowNames(*model, model->index(0, 0)))
        uuids << scanned.itemUuid(idOf(name));
    QCOMPARE(scanned.itemsUuid(idOf("")), uuids << scanned.itemUuid(idOf("")));
    QCOMPARE(scanned.itemsUuid(idOf("sub")), QVariantList{scanned.itemUuid(idOf("sub"))});
}

void TestFacade::dragData_data()
{
    const QString thumbnail = "thumbnail"; // the item's own thumbnail, as a file URL
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("picPath");
    QTest::addRow("video") << "clip.mp4" << thumbnail;
    QTest::addRow("picture") << "photo.png" << thumbnail;
    QTest::addRow("audio") << "song.mp3" << QString("qrc:/PICTS/Pics/music.png");
    QTest::addRow("presentation") << "deck.pptx" << QString("qrc:/PICTS/Pics/Office_signal.png");
    QTest::addRow("folder") << "sub" << QString();
}

void TestFacade::dragData()
{
    QFETCH(QString, name);
    QFETCH(QString, picPath);
    const int id = idOf(name);
    scanned.setDragFileIdx(id);
    const QVariantMap layer = scanned.createMimeData();
    const QVariantMap info = scanned.itemProperty(id, "info").toMap();
    const QVariant path = name.endsWith(".pptx") ? info["pptPath"] : media.filePath(name);
    QCOMPARE((QVariantList{layer["objType"], layer["idindex"], layer["virtualScreenID"],
                           layer["videoName"], layer["layerGuid"], layer["signalw"],
                           layer["timeLenMsec"], layer["videoPath"]}),
             (QVariantList{1, 0, "0", name, scanned.itemUuid(id), info["frameWidth"],
                           info["timeLenMsec"], path}));
    QCOMPARE(layer.size(), picPath.isEmpty() ? 11 : 12); // a folder has no picture
    const QString img = scanned.itemProperty(id, "img").toString();
    QCOMPARE(layer["picPath"].toString(), picPath == "thumbnail" ? "file://" + img : picPath);
    QVERIFY(picPath != "thumbnail" || QFileInfo::exists(img));
}

QTEST_GUILESS_MAIN(TestFacade)
#include "tst_facade.moc"

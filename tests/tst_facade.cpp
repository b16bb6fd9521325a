#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "testfolders.h"

#include <QImage>
#include <QProcess>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

// The page's folder tab; counts how often the facade writes to it.
class TabItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isExpanded READ isExpanded WRITE setExpanded)
public:
    bool isExpanded() const { return expanded; }
    void setExpanded(bool value)
    {
        expanded = value;
        ++writes;
    }
    bool expanded = false;
    int writes = 0;
};

using Facade = UI_Proc_SignalCustomFolder_Desktop;

std::unique_ptr<Facade> makeFacade()
{
    return std::unique_ptr<Facade>(
            static_cast<Facade *>(Facade::singletonTypeProvider(nullptr, nullptr)));
}

} // namespace

class TestFacade : public QObject
{
    Q_OBJECT
private slots:
    void providerMakesANewFacadeEachTime();
    void tabIsExpandedBeforeThePageHearsOfTheLoad();
    void expandedTabIsNotWrittenAgain();
    void errorCodesReachTheMessageBox_data();
    void errorCodesReachTheMessageBox();
    void goneMessageBoxIsLeftAlone();
    void addFoldersReturnsWhatIsNotAFolder();
    void itemQueriesReadTheModel();
    void dragData_data();
    void dragData();
};

void TestFacade::providerMakesANewFacadeEachTime()
{
    auto first = makeFacade();
    auto second = makeFacade();
    QVERIFY(first.get() != second.get());
    QVERIFY(first->property("folderModel").value<QAbstractItemModel *>());
    QCOMPARE(first->folderModel()->parent(), first.get());
}

void TestFacade::tabIsExpandedBeforeThePageHearsOfTheLoad()
{
    ProjectDir project;
    QTemporaryDir dir;
    auto facade = makeFacade();
    TabItem tab;
    facade->setTabItem(&tab);
    QVector<bool> expandedWhenHeard;
    connect(facade.get(), &Facade::loadFolderBegan, this,
            [&] { expandedWhenHeard << tab.expanded; });
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
    emit facade->addFolder(dir.path());
    QCOMPARE(expandedWhenHeard, QVector<bool>{true});
    QVERIFY(ended.wait());
}

void TestFacade::expandedTabIsNotWrittenAgain()
{
    ProjectDir project;
    QTemporaryDir dir;
    auto facade = makeFacade();
    TabItem tab;
    tab.expanded = true;
    facade->setTabItem(&tab);
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
    facade->addFolders({dir.path()});
    QVERIFY(ended.wait());
    QCOMPARE(tab.writes, 0);
}

void TestFacade::errorCodesReachTheMessageBox_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("addingFolder");
    QTest::addColumn<int>("exceedTenLayer");
    QTest::addRow("adding") << 0 << "A Folder is being added, cannot add new folder" << 1 << 0;
    QTest::addRow("too deep") << 1 << "Cannot read folders more than 10 layers" << 0 << 1;
    QTest::addRow("unknown") << 2 << "" << 0 << 0;
}

void TestFacade::errorCodesReachTheMessageBox()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(int, addingFolder);
    QFETCH(int, exceedTenLayer);
    auto facade = makeFacade();
    QSignalSpy adding(facade.get(), &Facade::addingFolder);
    QSignalSpy tooDeep(facade.get(), &Facade::exceedTenLayer);

    // Without a message box nothing is reported.
    QMetaObject::invokeMethod(facade->folderModel(), "errorOccured", Q_ARG(int, code));
    QCOMPARE(adding.count() + tooDeep.count(), 0);

    QObject box;
    facade->setMsgBox(&box);
    QMetaObject::invokeMethod(facade->folderModel(), "errorOccured", Q_ARG(int, code));
    QCOMPARE(adding.count(), addingFolder);
    QCOMPARE(tooDeep.count(), exceedTenLayer);
    QCOMPARE(box.property("informText").toString(), text);
    QCOMPARE(box.property("visible").toBool(), !text.isEmpty());
}

void TestFacade::goneMessageBoxIsLeftAlone()
{
    auto facade = makeFacade();
    auto box = std::make_unique<QObject>();
    facade->setMsgBox(box.get());
    facade->onErrorOccured("shown");
    QCOMPARE(box->property("informText").toString(), "shown");
    box.reset();
    QSignalSpy adding(facade.get(), &Facade::addingFolder);
    facade->onErrorOccured("nobody reads this");
    QMetaObject::invokeMethod(facade->folderModel(), "errorOccured", Q_ARG(int, 0));
    QCOMPARE(adding.count(), 0);
}

void TestFacade::addFoldersReturnsWhatIsNotAFolder()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"clip.mp4"});
    const QString clip = dir.filePath("clip.mp4");
    const QString clipUrl = QUrl::fromLocalFile(clip).toString();
    auto facade = makeFacade();
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);

    const QVariantList rejected = facade->addFolders(
            {QUrl::fromLocalFile(dir.path()).toString(), clip, clipUrl, "/no/such"});
    QCOMPARE(rejected, (QVariantList{clip, clipUrl, "/no/such"}));
    QVERIFY(ended.wait());
    const QAbstractItemModel *model = facade->folderModel();
    QCOMPARE(model->rowCount(), 1);
    const int rootId = fileInfo(model->index(0, 0)).value("fileIdx").toInt();
    QCOMPARE(facade->itemPath(rootId), dir.path());
}

void TestFacade::itemQueriesReadTheModel()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"song.mp3"});
    auto facade = makeFacade();
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
    facade->addFolders({dir.path()});
    QVERIFY(ended.wait());
    const QAbstractItemModel *model = facade->folderModel();
    const QVariantMap song = fileInfo(model->index(0, 0, model->index(0, 0)));
    const int id = song.value("fileIdx").toInt();
    QCOMPARE(facade->itemPath(id), dir.filePath("song.mp3"));
    QCOMPARE(facade->itemProperty(id, "uuid"), song.value("uuid"));
    QCOMPARE(facade->itemProperty(id, "info").toMap().value("frameWidth"), QVariant(400));
    QVERIFY(!facade->itemProperty(id, "no such key").isValid());
    QVERIFY(facade->itemPath(987654).isEmpty());
    const QVariantList rootUuids
            = facade->itemsUuid(fileInfo(model->index(0, 0)).value("fileIdx").toInt());
    QCOMPARE(rootUuids,
             (QVariantList{song.value("uuid"), fileInfo(model->index(0, 0)).value("uuid")}));
}

void TestFacade::dragData_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("picPath"); // "thumbnail": the item's own thumbnail as a file URL
    QTest::addRow("video") << "clip.mp4"
                           << "thumbnail";
    QTest::addRow("picture") << "photo.png"
                             << "thumbnail";
    QTest::addRow("audio") << "song.mp3"
                           << "qrc:/PICTS/Pics/music.png";
    QTest::addRow("presentation") << "deck.pptx"
                                  << "qrc:/PICTS/Pics/Office_signal.png";
    QTest::addRow("folder") << "sub"
                            << "";
}

void TestFacade::dragData()
{
    QFETCH(QString, name);
    QFETCH(QString, picPath);
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/", "deck.pptx"});
    QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                 "testsrc=size=320x240:duration=2", dir.filePath("clip.mp4"), "-f",
                                 "lavfi", "-i", "sine=duration=1", dir.filePath("song.mp3")});
    QImage(64, 48, QImage::Format_RGB32).save(dir.filePath("photo.png"));
    auto facade = makeFacade();
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
    facade->addFolders({dir.path()});
    QVERIFY(ended.wait(20000));

    const QAbstractItemModel *model = facade->folderModel();
    const QModelIndex index = childNamed(*model, model->index(0, 0), name);
    const int id = fileInfo(index).value("fileIdx").toInt();
    facade->setDragFileIdx(id);
    const QVariantMap layer = facade->createMimeData();
    const QVariantMap info = facade->itemProperty(id, "info").toMap();
    QCOMPARE(layer.value("objType"), QVariant(1));
    QCOMPARE(layer.value("idindex"), QVariant(0));
    QCOMPARE(layer.value("virtualScreenID"), QVariant("0"));
    QCOMPARE(layer.value("videoName").toString(), name);
    QCOMPARE(layer.value("layerGuid").toString(), facade->itemUuid(id));
    QCOMPARE(layer.value("signalw"), info.value("frameWidth"));
    QCOMPARE(layer.value("timeLenMsec"), info.value("timeLenMsec"));
    QCOMPARE(layer.value("videoPath").toString(),
             name.endsWith(".pptx") ? info.value("pptPath").toString() : dir.filePath(name));
    if (picPath.isEmpty()) {
        QCOMPARE(layer.size(), 11);
        QVERIFY(layer.contains("signalw") && !layer.value("signalw").isValid());
        QCOMPARE(facade->itemsUuid(id).size(), 1); // a folder without children
    } else if (picPath == QLatin1String("thumbnail")) {
        const QString img = facade->itemProperty(id, "img").toString();
        QCOMPARE(QUrl(layer.value("picPath").toString()).toLocalFile(), img);
        QVERIFY(QFileInfo::exists(img));
    } else {
        QCOMPARE(layer.value("picPath").toString(), picPath);
    }
    QCOMPARE(facade->itemsUuid(id).last().toString(), facade->itemUuid(id));
}

QTEST_GUILESS_MAIN(TestFacade)
#include "tst_facade.moc"

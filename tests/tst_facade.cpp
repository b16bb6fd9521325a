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
    void tabIsExpandedBeforeThePageHearsOfTheLoad_data();
    void tabIsExpandedBeforeThePageHearsOfTheLoad();
    void errorCodesReachTheMessageBox_data();
    void errorCodesReachTheMessageBox();
    void problemsReachTheMessageBoxOnce_data();
    void problemsReachTheMessageBoxOnce();
    void itemQueriesReadTheModel();
    void dragData_data();
    void dragData();
    void searchShowsMatchesWithTheirFolders_data();
    void searchShowsMatchesWithTheirFolders();
    void loadProgressOnlyGrowsAndEndsAtItsTotals();

private:
    // A folder with an item of every kind, added once for the queries and the drag data.
    ProjectDir project;
    QTemporaryDir media;
    Facade scanned;
    QAbstractItemModel *model = scanned.folderModel();
    QAbstractItemModelTester tester{model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    FolderFilterModel *filter = scanned.filterModel();
    QAbstractItemModelTester filterTester{filter,
                                          QAbstractItemModelTester::FailureReportingMode::QtTest};
    int idOf(const QString &name) const // "": the folder
    {
        const QModelIndex root = model->index(0, 0);
        return fileInfo(name.isEmpty() ? root : childNamed(*model, root, name))["fileIdx"].toInt();
    }
};

void TestFacade::initTestCase()
{
    makeEntries(media.path(), {"sub/", "deck.pptx", "more/deep/broken.mp4"});
    const QString args = "-nostdin -v error -f lavfi -i testsrc=d=2 %1/clip.mp4 "
                         "-f lavfi -i sine=d=1 -map 1 %1/song.mp3 -map 1 %1/voice.mp4";
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
    QTest::addRow("ffmpeg missing") << "no ffmpeg" << QString("Install ffmpeg");
    QTest::addRow("folder removed while scanned")
            << "removed" << QString("was removed from the disk");
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

// Paths and properties of shown items are read in the search and drag data cases.
void TestFacade::itemQueriesReadTheModel()
{
    QVERIFY(!scanned.itemProperty(idOf("song.mp3"), "no such key").isValid());
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
    const QString music = "qrc:/PICTS/Pics/music.png";
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("picPath");
    QTest::addColumn<bool>("valid"); // as the page shows it
    QTest::addRow("video") << "clip.mp4"
                           << "video" << thumbnail << true;
    QTest::addRow("picture") << "photo.png"
                             << "picture" << thumbnail << true;
    QTest::addRow("audio") << "song.mp3"
                           << "audio" << music << true;
    QTest::addRow("sound in a video file") << "voice.mp4"
                                           << "audio" << music << true;
    QTest::addRow("presentation, not captured") // no capture tool here
            << "deck.pptx"
            << "office" << QString("qrc:/PICTS/Pics/Office_signal.png") << false;
    QTest::addRow("folder") << "sub"
                            << "folder" << QString() << true;
}

void TestFacade::dragData()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, picPath);
    QFETCH(bool, valid);
    const int id = idOf(name);
    QCOMPARE(fileInfo(childNamed(*model, model->index(0, 0), name))["isValid"], QVariant(valid));
    scanned.setDragFileIdx(id);
    const QVariantMap layer = scanned.createMimeData();
    const QVariantMap info = scanned.itemProperty(id, "info").toMap();
    const QVariant path = name.endsWith(".pptx") ? info["pptPath"] : media.filePath(name);
    QCOMPARE((QVariantList{layer["objType"], layer["idindex"], layer["virtualScreenID"],
                           layer["videoName"], layer["layerGuid"], layer["signalw"],
                           layer["timeLenMsec"], layer["videoPath"], layer["type"]}),
             (QVariantList{1, 0, "0", name, scanned.itemUuid(id), info["frameWidth"],
                           info["timeLenMsec"], path, type}));
    QCOMPARE(layer.size(), picPath.isEmpty() ? 11 : 12); // a folder has no picture
    const QString img = scanned.itemProperty(id, "img").toString();
    QCOMPARE(layer["picPath"].toString(), picPath == "thumbnail" ? "file://" + img : picPath);
    QVERIFY(picPath != "thumbnail" || QFileInfo::exists(img));
}

// The rows the filter shows, by the path below the scanned folder ("" for the folder itself).
void collectShown(const Facade &facade, const QString &base, const QModelIndex &parent,
                  QVector<QPair<QString, QModelIndex>> &shown)
{
    const QAbstractItemModel *filter = facade.filterModel();
    for (int row = 0; row < filter->rowCount(parent); ++row) {
        const QModelIndex index = filter->index(row, 0, parent);
        shown.append(
                {facade.itemPath(fileInfo(index)["fileIdx"].toInt()).mid(base.size() + 1), index});
        collectShown(facade, base, index, shown);
    }
}

void TestFacade::searchShowsMatchesWithTheirFolders_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<bool>("invalidOnly");
    QTest::addColumn<QString>("sortKey");
    QTest::addColumn<QStringList>("shown");
    // Depth first in the page's order: folders first, then by name whatever the letter case;
    // "" stands for the folder itself.
    const QStringList all = QString(",more,more/deep,more/deep/broken.mp4,sub,clip.mp4,deck.pptx,"
                                    "photo.png,song.mp3,voice.mp4")
                                    .split(',');
    const QStringList toBroken{"", "more", "more/deep", "more/deep/broken.mp4"};
    const QString name = "name";
    QTest::addRow("nothing set") << "" << QStringList() << false << name << all;
    QTest::addRow("part of a name, any case")
            << "LIP.M" << QStringList() << false << name << QStringList{"", "clip.mp4"};
    QTest::addRow("a match keeps its folders")
            << "roKe" << QStringList() << false << name << toBroken;
    QTest::addRow("a matching folder shows its contents")
            << "deep" << QStringList() << false << name
            << QStringList{"", "more", "more/deep", "more/deep/broken.mp4"};
    QTest::addRow("types") << "" << QStringList{"audio", "picture"} << false << name
                           << QStringList{"", "photo.png", "song.mp3", "voice.mp4"};
    QTest::addRow("invalid videos") << "" << QStringList{"video"} << true << name << toBroken;
    QTest::addRow("nothing matches")
            << "no such name" << QStringList() << false << name << QStringList();
    QTest::addRow("by type") << "" << QStringList() << false << QString("type")
                             << QString(",more,more/deep,more/deep/broken.mp4,sub,song.mp3,"
                                        "voice.mp4,deck.pptx,photo.png,clip.mp4")
                                        .split(',');
}

// Items keep their ids through the filter: what the page asks by the id of a shown row is
// about the item of that row.
void TestFacade::searchShowsMatchesWithTheirFolders()
{
    QFETCH(QString, text);
    QFETCH(QStringList, types);
    QFETCH(bool, invalidOnly);
    QFETCH(QString, sortKey);
    QFETCH(QStringList, shown);
    const auto reset = qScopeGuard([&] {
        filter->setText({});
        filter->setTypes({});
        filter->setInvalidOnly(false);
        filter->setSortKey("name");
    });
    filter->setSortKey(sortKey);
    filter->setText(text);
    filter->setTypes(types);
    filter->setInvalidOnly(invalidOnly);
    QVector<QPair<QString, QModelIndex>> rows;
    collectShown(scanned, media.path(), {}, rows);
    QStringList paths;
    for (const auto &[path, index] : rows) {
        paths << path;
        const int id = fileInfo(index)["fileIdx"].toInt();
        QCOMPARE(filter->indexOfId(id), index);
        scanned.setDragFileIdx(id);
        QCOMPARE(scanned.createMimeData()["videoName"].toString(),
                 QFileInfo(QDir::cleanPath(media.filePath(path))).fileName());
    }
    QCOMPARE(paths, shown);
}

// Announced at most ten times a second; a filter set before the load shows what it finds.
void TestFacade::loadProgressOnlyGrowsAndEndsAtItsTotals()
{
    constexpr int kPairs = 15;
    QTemporaryDir folder;
    for (int i = 0; i < kPairs; ++i) // empty files: each probe fails, each item is invalid
        makeEntries(folder.path(), {QString("v%1.mp4").arg(i), QString("sub/a%1.mp3").arg(i)});
    Facade facade;
    facade.filterModel()->setTypes({"video"});
    facade.filterModel()->setInvalidOnly(true);
    QAbstractItemModelTester checked(facade.filterModel(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest);
    using Counts = std::array<int, 4>;
    QVector<Counts> heard;
    const auto counts = [&] {
        return Counts{facade.itemsFound(), facade.itemsBuilt(), facade.jobsQueued(),
                      facade.jobsDone()};
    };
    connect(&facade, &Facade::loadProgressChanged, this, [&] { heard << counts(); });
    QSignalSpy ended(&facade, &Facade::loadFolderEnded);
    QElapsedTimer clock;
    clock.start();
    facade.addFolders({folder.path()});
    QVERIFY(ended.wait(60000));
    const qint64 elapsedMs = clock.elapsed();
    QVERIFY(heard.size() <= elapsedMs / 100 + 3);
    for (int i = 1; i < heard.size(); ++i) {
        for (int count = 0; count < 4; ++count)
            QVERIFY2(heard[i][count] >= heard[i - 1][count], qPrintable(QString::number(i)));
        QVERIFY(heard[i][1] <= heard[i][0] && heard[i][3] <= heard[i][2]);
    }
    const int items = 2 + 2 * kPairs; // the folder, sub and the files
    QCOMPARE(heard.last(), (Counts{items, items, 3 * kPairs, 3 * kPairs}));
    QVERIFY(facade.currentFile().isEmpty() && facade.secondsLeft() == 0);
    QCOMPARE(facade.filterModel()->rowCount(facade.filterModel()->index(0, 0)), kPairs);
}

QTEST_GUILESS_MAIN(TestFacade)
#include "tst_facade.moc"

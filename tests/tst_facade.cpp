#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "testfolders.h"

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
    facade->onErrorOccured(QStringLiteral("shown"));
    QCOMPARE(box->property("informText").toString(), QStringLiteral("shown"));
    box.reset();
    QSignalSpy adding(facade.get(), &Facade::addingFolder);
    facade->onErrorOccured(QStringLiteral("nobody reads this"));
    QMetaObject::invokeMethod(facade->folderModel(), "errorOccured", Q_ARG(int, 0));
    QCOMPARE(adding.count(), 0);
}

void TestFacade::addFoldersReturnsWhatIsNotAFolder()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {QStringLiteral("clip.mp4")});
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    const QString clipUrl = QUrl::fromLocalFile(clip).toString();
    auto facade = makeFacade();
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);

    const QVariantList rejected = facade->addFolders({QUrl::fromLocalFile(dir.path()).toString(),
                                                      clip, clipUrl, QStringLiteral("/no/such")});
    QCOMPARE(rejected, (QVariantList{clip, clipUrl, QStringLiteral("/no/such")}));
    QVERIFY(ended.wait());
    const QAbstractItemModel *model = facade->folderModel();
    QCOMPARE(model->rowCount(), 1);
    const int rootId = fileInfo(model->index(0, 0)).value(QStringLiteral("fileIdx")).toInt();
    QCOMPARE(facade->itemPath(rootId), dir.path());
}

void TestFacade::itemQueriesReadTheModel()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {QStringLiteral("song.mp3")});
    auto facade = makeFacade();
    QSignalSpy ended(facade.get(), &Facade::loadFolderEnded);
    facade->addFolders({dir.path()});
    QVERIFY(ended.wait());
    const QAbstractItemModel *model = facade->folderModel();
    const QVariantMap song = fileInfo(model->index(0, 0, model->index(0, 0)));
    const int id = song.value(QStringLiteral("fileIdx")).toInt();
    QCOMPARE(facade->itemPath(id), dir.filePath(QStringLiteral("song.mp3")));
    QCOMPARE(facade->itemProperty(id, QStringLiteral("uuid")), song.value(QStringLiteral("uuid")));
    QCOMPARE(facade->itemProperty(id, QStringLiteral("info"))
                     .toMap()
                     .value(QStringLiteral("frameWidth")),
             QVariant(400));
    QVERIFY(!facade->itemProperty(id, QStringLiteral("no such key")).isValid());
    QVERIFY(facade->itemPath(987654).isEmpty());
}

QTEST_GUILESS_MAIN(TestFacade)
#include "tst_facade.moc"

#include "facade/ui_proc_signalcustomfolder_desktop.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QProcess>
#include <QUuid>
#include <QtTest>

#include <memory>

namespace {

using Facade = UI_Proc_SignalCustomFolder_Desktop;
const auto kQtTest = QAbstractItemModelTester::FailureReportingMode::QtTest;

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Each line is "rootIndex|path[|category]"; "~" in the path stands for dir.
QList<Module_Mediainfo> records(const QStringList &lines, const QString &dir)
{
    QList<Module_Mediainfo> stored;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char('|'));
        Module_Mediainfo record;
        record.uuid = QUuid::createUuid().toString();
        record.path = record.filePath = QString(parts.at(1)).replace(QLatin1Char('~'), dir);
        record.rootIndex = parts.at(0);
        record.category = parts.value(2, "folder");
        stored << record;
    }
    return stored;
}

bool store(const QList<Module_Mediainfo> &stored)
{
    return Ui_Proc_MediaInfo_Desktop(nullptr).addMediaInfoList(stored) || stored.isEmpty();
}

bool settle(FolderModel &model)
{
    return QTest::qWaitFor([&] { return !model.isBusy(); }, 30000);
}

// The host announces its store; the tree is emptied at once and rebuilt in a later step.
bool restore(FolderModel &model)
{
    emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    return resets.wait(5000) && settle(model);
}

// Every row below parent, depth first, as "folder/name".
QStringList shownBelow(const QAbstractItemModel &model, const QModelIndex &parent,
                       const QString &prefix = {})
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        const QString name = prefix + child.data(Qt::DisplayRole).toString();
        names << name << shownBelow(model, child, name + QLatin1Char('/'));
    }
    return names;
}

QMap<QString, QString> uuidsByPath(FolderModel &model, const QModelIndex &parent = {})
{
    QMap<QString, QString> uuids;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        uuids.insert(model.pathOf(int(child.internalId())),
                     fileInfo(child).value(ItemField::uuid).toString());
        uuids.insert(uuidsByPath(model, child));
    }
    return uuids;
}

// The record of the row reached from the first root through the given names.
QVariantMap recordAt(FolderModel &model, const QStringList &names)
{
    QModelIndex index = model.index(0, 0);
    for (const QString &name : names)
        index = childNamed(model, index, name);
    return model.recordOf(int(index.internalId()));
}

// The programs that the processes below owner were asked to start.
class ToolSpy : public QObject
{
public:
    explicit ToolSpy(QObject *owner)
    {
        for (QProcess *process : owner->findChildren<QProcess *>())
            connect(process, &QProcess::stateChanged, this,
                    [this, process](QProcess::ProcessState state) {
                        if (state == QProcess::Starting)
                            programs << process->program();
                    });
    }
    QStringList programs;
};

bool makeMedia(const QString &path, const char *source)
{
    const QStringList arguments = words("-nostdin -loglevel error -y -f lavfi -i");
    return QProcess::execute("ffmpeg", arguments + QStringList{QString::fromLatin1(source), path})
           == 0;
}

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT
private slots:
    void restartKeepsTheScannedTree();
    void storedTranscodeMarkComesBack();
    void groupsAndPaths_data();
    void groupsAndPaths();
    void restoreReplacesTheTree_data();
    void restoreReplacesTheTree();
    void goneFilesStayListed();
};

void TestRestore::restartKeepsTheScannedTree()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/deck.pptx"}); // any bytes will do
    const QString sub = dir.path() + "/sub/";
    QVERIFY(makeMedia(sub + "clip.mp4", "testsrc=size=320x240:rate=25:duration=2"));
    QVERIFY(makeMedia(sub + "song.mp3", "sine=duration=1"));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QVERIFY(picture.save(sub + "pic.png"));
    const QStringList ascending = words("clip.mp4 deck.pptx pic.png song.mp3");

    QMap<QString, QString> scannedUuids;
    QVariantMap scannedClip, scannedDeck;
    {
        std::unique_ptr<Facade> scanner(
                static_cast<Facade *>(Facade::singletonTypeProvider(nullptr, nullptr)));
        auto *model = static_cast<FolderModel *>(scanner->folderModel());
        ToolSpy tools(model);
        QSignalSpy ended(scanner.get(), &Facade::loadFolderEnded);
        QVERIFY(scanner->addFolders({dir.path()}).isEmpty());
        QVERIFY(ended.wait(30000));
        QVERIFY(settle(*model));
        QCOMPARE(tools.programs.filter("CaptureImages").size(), 1);
        QCOMPARE(shownBelow(*model, childNamed(*model, model->index(0, 0), "sub")),
                 words("song.mp3 pic.png deck.pptx clip.mp4"));
        scannedUuids = uuidsByPath(*model);
        scannedClip = recordAt(*model, words("sub clip.mp4"));
        scannedDeck = recordAt(*model, words("sub deck.pptx"));
    }
    QCOMPARE(scannedUuids.size(), 6);

    std::unique_ptr<Facade> host(
            static_cast<Facade *>(Facade::singletonTypeProvider(nullptr, nullptr)));
    auto *model = static_cast<FolderModel *>(host->folderModel());
    QAbstractItemModelTester tester(model, kQtTest);
    ToolSpy tools(model);
    QVERIFY(restore(*model));
    QCOMPARE(model->rootCount(), 1);
    QCOMPARE(model->pathOf(int(model->index(0, 0).internalId())), dir.path());
    QCOMPARE(shownBelow(*model, childNamed(*model, model->index(0, 0), "sub")), ascending);
    QCOMPARE(uuidsByPath(*model), scannedUuids);

    const QVariantMap video = recordAt(*model, words("sub clip.mp4"));
    const QString thumbnail = scannedClip.value(ItemField::img).toString();
    QVERIFY(QFile::exists(thumbnail));
    QCOMPARE(video.value(ItemField::img).toString(), thumbnail);
    QCOMPARE(video.value(ItemField::info).toMap().value(InfoField::frameWidth), QVariant(320));

    const QVariantMap presentation = recordAt(*model, words("sub deck.pptx"));
    const QVariantMap info = presentation.value(ItemField::info).toMap();
    const QString slideDir
            = scannedDeck.value(ItemField::info).toMap().value(InfoField::pptPath).toString();
    QVERIFY(!slideDir.isEmpty());
    QVERIFY(presentation.value(ItemField::asyncCompleted).toBool());
    QCOMPARE(info.value(InfoField::frameWidth).toInt(), 960);
    QCOMPARE(info.value(InfoField::frameHeight).toInt(), 720);
    QCOMPARE(info.value(InfoField::timeLenMsec).toInt(), 600000);
    QCOMPARE(info.value(InfoField::pptPath).toString(), slideDir);
    QVERIFY(tools.programs.contains("ffmpeg"));
    QVERIFY(tools.programs.filter("CaptureImages").isEmpty());
}

void TestRestore::storedTranscodeMarkComesBack()
{
    ProjectDir project;
    QTemporaryDir dir;
    QList<Module_Mediainfo> stored = records(words("0|~ 0|~/marked.mp4 0|~/plain.mp4"), dir.path());
    stored[1].isTranscoded = true;
    QVERIFY(store(stored));
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, kQtTest);
    QVERIFY(restore(model));
    const QModelIndex marked = childNamed(model, model.index(0, 0), "marked.mp4");
    QCOMPARE(model.recordOf(int(marked.internalId())).value(ItemField::isTranscoded),
             QVariant(true));
    QCOMPARE(fileInfo(marked).value(ItemField::isTranscoded), QVariant(true));
    QCOMPARE(recordAt(model, words("plain.mp4")).value(ItemField::isTranscoded), QVariant(false));
}

void TestRestore::groupsAndPaths_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("roots");
    QTest::addColumn<QStringList>("shown"); // below the first root

    QTest::addRow("non-numeric ordinal joins ordinal 0")
            << words("0|~ abc|~/a.mp3 0|~/b") << 1 << words("a.mp3 b");
    QTest::addRow("interleaved roots in order of first appearance")
            << words("1|~/two 0|~/one 1|~/two/b.mp3 0|~/one/a.mp3") << 2 << words("b.mp3");
    QTest::addRow("trailing slash is dropped")
            << words("0|~/ 0|~/sub/ 0|~/sub/b.mp3") << 1 << words("sub sub/b.mp3");
    QTest::addRow("duplicate paths give one row")
            << words("0|~ 0|~/a.mp3 0|~/a.mp3") << 1 << words("a.mp3");
    QTest::addRow("other categories are skipped")
            << words("0|~ 0|~/a.mp3|playlist 0|~/b.mp3") << 1 << words("b.mp3");
    QTest::addRow("empty path is skipped") << words("0| 0|~ 0|~/a.mp3") << 1 << words("a.mp3");
    QTest::addRow("parent in another group hides the entry")
            << words("0|~ 0|~/x/a.mp3 0|~/b.mp3 1|~/x") << 2 << words("b.mp3");
    QTest::addRow("file-system root lists its children")
            << words("0|/ 0|/zz-restore-absent 0|/aa-restore-absent") << 1
            << words("aa-restore-absent zz-restore-absent");
}

void TestRestore::groupsAndPaths()
{
    QFETCH(QStringList, records);
    ProjectDir project;
    QTemporaryDir dir;
    QVERIFY(store(::records(records, dir.path())));
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, kQtTest);
    QVERIFY(restore(model));
    QTEST(model.rootCount(), "roots");
    QTEST(shownBelow(model, model.index(0, 0)), "shown");
}

void TestRestore::restoreReplacesTheTree_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("closes");
    QTest::addColumn<QStringList>("roots");

    QTest::addRow("empty store") << words("") << 1 << words("");
    QTest::addRow("other categories only")
            << words("0|~|playlist 0|~/a.mp3|playlist") << 1 << words("");
    QTest::addRow("stored root") << words("0|~/stored 0|~/stored/notes") << 0 << words("stored");
}

// A model that shows a scanned folder of one project is given the store of another.
void TestRestore::restoreReplacesTheTree()
{
    QFETCH(QStringList, records);
    QTemporaryDir scanned, dir;
    makeEntries(scanned.path(), {"old/a.mp3"});
    ProjectDir earlier;
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, kQtTest);
    QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
    model.addFolder(scanned.path());
    QVERIFY(ended.wait(20000));
    QVERIFY(settle(model));

    ProjectDir project;
    QVERIFY(store(::records(records, dir.path())));
    QSignalSpy closes(&model, &FolderModel::folderTabNeedClose);
    QVERIFY(restore(model));
    QTEST(int(closes.count()), "closes");
    QTEST(rowNames(model), "roots");
}

void TestRestore::goneFilesStayListed()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"notes.txt"});
    QVERIFY(QDir().mkpath(pictureDirectory()));
    const QString thumbnail = pictureDirectory() + freshPictureName() + ".jpg";
    QImage frame(32, 24, QImage::Format_RGB32);
    frame.fill(Qt::gray);
    QVERIFY(frame.save(thumbnail));
    QList<Module_Mediainfo> stored
            = records(words("0|~ 0|~/gone.mp3 0|~/gone.mp4 0|~/gone.png"), dir.path());
    stored[2].img = "file://" + thumbnail;
    QVERIFY(store(stored));

    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, kQtTest);
    QVERIFY(restore(model));
    const QStringList gone = words("gone.mp3 gone.mp4 gone.png");
    QCOMPARE(rowNames(model, model.index(0, 0)), gone);
    for (const QString &name : gone) {
        const QVariantMap item = fileInfo(childNamed(model, model.index(0, 0), name));
        QVERIFY2(!item.value(ItemField::exists).toBool(), qPrintable(name));
        QVERIFY2(!item.value(ItemField::isValid).toBool(), qPrintable(name));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), words("notes.txt"));
    QVERIFY(QFile::exists(thumbnail));
    QCOMPARE(storedRows(project.path()).size(), stored.size());
}

QTEST_GUILESS_MAIN(TestRestore)
#include "tst_restore.moc"

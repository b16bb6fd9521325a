#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "transcode/outputname.h"

#include <QAbstractItemModel>
#include <QFileInfo>

namespace {

const char *const kIsExpanded = "isExpanded";
const char *const kInformText = "informText";
const char *const kVisible = "visible";
const char *const kFileSize = "fileSize"; // not a record's: the tree knows it
const QString kInvalid = QStringLiteral("invalid");

QString errorText(int ec)
{
    switch (ec) {
    case AddWhileWalking:
        return QStringLiteral("A Folder is being added, cannot add new folder");
    case DepthLimitMet:
        return QStringLiteral("Cannot read folders more than 10 layers");
    default:
        return {};
    }
}

} // namespace

UI_Proc_SignalCustomFolder_Desktop::UI_Proc_SignalCustomFolder_Desktop()
    : model(new FolderModel(this)), filter(new FolderFilterModel(model, this))
{
    // Lets QML and QObject::property() read folderModel.
    qRegisterMetaType<QAbstractItemModel *>();
    connectModel();
}

UI_Proc_SignalCustomFolder_Desktop::~UI_Proc_SignalCustomFolder_Desktop() = default;

QObject *UI_Proc_SignalCustomFolder_Desktop::singletonTypeProvider(QQmlEngine *, QJSEngine *)
{
    return new UI_Proc_SignalCustomFolder_Desktop;
}

// The order matters where several connections share a signal: on loadFolderBegan the tab
// is expanded before the page hears of the new load.
void UI_Proc_SignalCustomFolder_Desktop::connectModel()
{
    using Facade = UI_Proc_SignalCustomFolder_Desktop;
    using IdRequest = void (Facade::*)(int, const QString &, int, int);
    using PathRequest = void (Facade::*)(const QString &, const QString &, int, int);
    using IdSlot = void (FolderModel::*)(int, const QString &, int, int);
    using PathSlot = void (FolderModel::*)(const QString &, const QString &, int, int);
    const auto queued = Qt::QueuedConnection;

    connect(this, &Facade::addFolder, model, &FolderModel::addFolder);
    connect(model, &FolderModel::loadFolderBegan, this, &Facade::expandTabItem);
    connect(this, &Facade::loadFolder, model, &FolderModel::onLoadFolder);
    connect(model, &FolderModel::errorOccured, this, qOverload<int>(&Facade::onErrorOccured));
    connect(model, &FolderModel::problemReported, this,
            qOverload<const QString &>(&Facade::onErrorOccured));
    connect(model, &FolderModel::transcodeQueueChanged, this, &Facade::transcodeQueueChanged);
    connect(this, IdRequest(&Facade::transcode), model, IdSlot(&FolderModel::onTranscode));
    connect(this, PathRequest(&Facade::transcode), model, PathSlot(&FolderModel::onTranscode));
    connect(this, &Facade::clearAll, model, &FolderModel::onClearAll);
    connect(this, qOverload<int>(&Facade::stopTranscode), model,
            qOverload<int>(&FolderModel::onStopTranscode));
    connect(this, qOverload<const QString &>(&Facade::stopTranscode), model,
            qOverload<const QString &>(&FolderModel::onStopTranscode));
    connect(this, &Facade::registerExternalTranscodeFile, model,
            &FolderModel::onRegisterExternalTranscodeFile);
    connect(model, &FolderModel::transcodingProgressChanged, this,
            &Facade::transcodingProgressChanged, queued);
    connect(model, &FolderModel::videoFileTranscoded, this, &Facade::videoFileTranscoded, queued);
    connect(model, &FolderModel::beginVideoFileTranscoding, this,
            &Facade::beginVideoFileTranscoding, queued);
    connect(model, &FolderModel::videoFileTranscodingStopped, this,
            &Facade::videoFileTranscodingStopped, queued);
    connect(model, &FolderModel::loadFolderBegan, this, &Facade::loadFolderBegan);
    connect(model, &FolderModel::loadFolderEnded, this, &Facade::loadFolderEnded);
    connect(this, &Facade::monitoringSignalList, model, &FolderModel::onMonitoringSignalList,
            queued);
    connect(this, &Facade::checkTranscodeMark, model, &FolderModel::onCheckTranscodeMark, queued);
    connect(model, &FolderModel::transcodeMarkFound, this, &Facade::transcodeMarkFound, queued);
    connect(model->loadProgress(), &LoadProgress::progressChanged, this,
            &Facade::loadProgressChanged);
    connect(model, &FolderModel::folderTabNeedClose, this, &Facade::folderTabNeedClose);
    connect(model, &FolderModel::transcodeFailed, this, &Facade::transcodeFailed, queued);
    connect(this, &Facade::transcodeFailed, this,
            [this](const QString &, const QString &reason) { onErrorOccured(reason); });
}

QAbstractItemModel *UI_Proc_SignalCustomFolder_Desktop::folderModel() const
{
    return model;
}

int UI_Proc_SignalCustomFolder_Desktop::itemsFound() const
{
    return model->loadProgress()->itemsFound();
}

int UI_Proc_SignalCustomFolder_Desktop::itemsBuilt() const
{
    return model->loadProgress()->itemsBuilt();
}

int UI_Proc_SignalCustomFolder_Desktop::jobsQueued() const
{
    return model->loadProgress()->jobsQueued();
}

int UI_Proc_SignalCustomFolder_Desktop::jobsDone() const
{
    return model->loadProgress()->jobsDone();
}

QString UI_Proc_SignalCustomFolder_Desktop::currentFile() const
{
    return model->loadProgress()->currentFile();
}

int UI_Proc_SignalCustomFolder_Desktop::secondsLeft() const
{
    return model->loadProgress()->secondsLeft();
}

void UI_Proc_SignalCustomFolder_Desktop::setTreeView(QObject *view)
{
    treeView = view;
}

void UI_Proc_SignalCustomFolder_Desktop::setTabItem(QObject *tab)
{
    tabItem = tab;
}

void UI_Proc_SignalCustomFolder_Desktop::setMsgBox(QObject *box)
{
    msgBox = box;
}

void UI_Proc_SignalCustomFolder_Desktop::setTranscodeDialog(QObject *dialog)
{
    transcodeDialogObject = dialog;
    if (dialog)
        connect(dialog, SIGNAL(quitApplication()), this, SLOT(onTranscodeBegin()));
}

QObject *UI_Proc_SignalCustomFolder_Desktop::transcodeDialog() const
{
    return transcodeDialogObject;
}

// The dialog asks to start: the focused tree item, or a file given by path.
void UI_Proc_SignalCustomFolder_Desktop::onTranscodeBegin()
{
    QObject *dialog = transcodeDialogObject;
    if (!dialog)
        return;
    const auto number = [](QObject *object, const char *name) {
        return object->property(name).toInt();
    };
    const QString type = dialog->property("videoType").toString();
    const int width = number(dialog, "videoWidth");
    const int height = number(dialog, "videoHeight");
    if (dialog->property("isFromFolder").toBool()) {
        if (treeView)
            emit transcode(number(treeView, "focusedFileIdx"), type, width, height);
    } else {
        emit transcode(dialog->property("videoPath").toString(), type, width, height);
    }
}

QString UI_Proc_SignalCustomFolder_Desktop::transcodeOutputFileName(const QString &name) const
{
    return transcodeOutputPath(withoutFileUrlPrefix(name));
}

bool UI_Proc_SignalCustomFolder_Desktop::checkExternalTranscoding(const QString &path) const
{
    bool active = false;
    QMetaObject::invokeMethod(model, "checkExternalTranscoding", Q_RETURN_ARG(bool, active),
                              Q_ARG(QString, path));
    return active;
}

bool UI_Proc_SignalCustomFolder_Desktop::isTranscodingVideoInFolder(int parent) const
{
    bool transcoding = false;
    QMetaObject::invokeMethod(model, "isTranscodingVideoInFolder", Q_RETURN_ARG(bool, transcoding),
                              Q_ARG(int, parent));
    return transcoding;
}

bool UI_Proc_SignalCustomFolder_Desktop::checkIfTranscoding() const
{
    return model->isTranscoding();
}

void UI_Proc_SignalCustomFolder_Desktop::setDragFileIdx(int idx)
{
    dragFileIdx = idx;
}

QVariantMap UI_Proc_SignalCustomFolder_Desktop::createMimeData()
{
    const QVariantMap props = model->recordOf(dragFileIdx);
    const QVariantMap info = props.value(ItemField::info).toMap();
    const QString type = props.value(ItemField::type).toString();
    QVariantMap layer{{QStringLiteral("objType"), 1},
                      {QStringLiteral("idindex"), 0},
                      {QStringLiteral("virtualScreenID"), QStringLiteral("0")},
                      {QStringLiteral("videoName"), props.value(ItemField::name)},
                      {QStringLiteral("signalw"), info.value(InfoField::frameWidth)},
                      {QStringLiteral("signalh"), info.value(InfoField::frameHeight)},
                      {QStringLiteral("timeLenMsec"), info.value(InfoField::timeLenMsec)},
                      {QStringLiteral("type"), props.value(ItemField::type)},
                      {QStringLiteral("layerGuid"), props.value(ItemField::uuid)},
                      {QStringLiteral("detailInfo"), info.value(InfoField::detailInfo)},
                      {QStringLiteral("videoPath"), model->pathOf(dragFileIdx)}};
    const QString picPath = QStringLiteral("picPath");
    if (type == ItemType::video || type == ItemType::picture) {
        layer.insert(picPath, withFileUrlPrefix(props.value(ItemField::img).toString()));
    } else if (type == ItemType::audio) {
        layer.insert(picPath, BuiltinImage::music);
    } else if (type == ItemType::office) {
        layer.insert(picPath, BuiltinImage::office);
        layer.insert(QStringLiteral("videoPath"), info.value(InfoField::pptPath));
    }
    return layer;
}

void UI_Proc_SignalCustomFolder_Desktop::deleteRow(int index)
{
    model->removeItem(index);
}

void UI_Proc_SignalCustomFolder_Desktop::reFreshTree()
{
    model->refreshTree();
}

void UI_Proc_SignalCustomFolder_Desktop::stopAllTranscodes()
{
    model->stopAllTranscodes();
}

QVariantList UI_Proc_SignalCustomFolder_Desktop::transcodeQueue() const
{
    return model->transcodeQueue();
}

bool UI_Proc_SignalCustomFolder_Desktop::relinkFolder(int idx, const QString &newPath)
{
    return model->relinkFolder(idx, newPath);
}

QVariant UI_Proc_SignalCustomFolder_Desktop::itemProperty(int idx, const QString &key)
{
    if (key == QLatin1String(kFileSize))
        return model->fileSizeOf(idx);
    return model->recordOf(idx).value(key);
}

QString UI_Proc_SignalCustomFolder_Desktop::itemUuid(int idx)
{
    return model->recordOf(idx).value(ItemField::uuid).toString();
}

QVariantList UI_Proc_SignalCustomFolder_Desktop::itemsUuid(int parent)
{
    QVariantList uuids;
    if (parent == -1) {
        for (const ItemRecord &record : model->itemRecords())
            uuids << record.value(ItemRecord::Uuid);
        return uuids;
    }
    if (const ChildListPtr children = model->childListOf(parent)) {
        for (int child : qAsConst(*children))
            uuids << model->uuidOf(child);
    }
    uuids << model->uuidOf(parent);
    return uuids;
}

QString UI_Proc_SignalCustomFolder_Desktop::itemPath(int idx) const
{
    return model->pathOf(idx);
}

QString UI_Proc_SignalCustomFolder_Desktop::itemKey(int idx) const
{
    return model->keyOf(idx);
}

int UI_Proc_SignalCustomFolder_Desktop::itemIdOfKey(const QString &key) const
{
    return model->idOfKey(key);
}

// The folder and what it holds, by type, as the tree shows them.
void UI_Proc_SignalCustomFolder_Desktop::countItems(int folderId, QHash<QString, int> &counts) const
{
    ++counts[ItemType::folder];
    const ChildListPtr rows = model->childListOf(folderId);
    for (int id : rows ? *rows : ChildList()) {
        if (model->childListOf(id)) {
            countItems(id, counts);
            continue;
        }
        const auto record = model->itemRecords().constFind(id);
        if (record == model->itemRecords().constEnd())
            continue; // not built yet
        ++counts[record->type()];
        if (record->has(ItemRecord::IsValid) && !record->isValid())
            ++counts[kInvalid];
    }
}

QVariantMap UI_Proc_SignalCustomFolder_Desktop::loadSummary() const
{
    QHash<QString, int> counts;
    for (int row = 0; row < model->rowCount(); ++row)
        countItems(int(model->index(row, 0).internalId()), counts);
    QVariantMap summary{{QStringLiteral("leftOut"), model->loadProgress()->filesLeftOut()}};
    for (const QString &key : {ItemType::folder, ItemType::video, ItemType::picture,
                               ItemType::audio, ItemType::office, kInvalid})
        summary.insert(key, counts.value(key));
    return summary;
}

QVariantList UI_Proc_SignalCustomFolder_Desktop::addFolders(const QVariantList &entries)
{
    QStringList folders;
    QVariantList rejected;
    for (const QVariant &entry : entries) {
        const QString text = entry.toString();
        const QString path = withoutFileUrlPrefix(text);
        if (QFileInfo(path).isDir())
            folders << path;
        else
            rejected << text;
    }
    model->addFolders(folders);
    return rejected;
}

void UI_Proc_SignalCustomFolder_Desktop::expandTabItem()
{
    if (tabItem && tabItem->property(kIsExpanded) != QVariant(true))
        tabItem->setProperty(kIsExpanded, true);
}

// The text goes to the message box; the signal lets the page react in its own way.
void UI_Proc_SignalCustomFolder_Desktop::onErrorOccured(int ec)
{
    if (!msgBox)
        return;
    const QString text = errorText(ec);
    if (text.isEmpty())
        return;
    onErrorOccured(text);
    if (ec == AddWhileWalking)
        emit addingFolder();
    else
        emit exceedTenLayer();
}

void UI_Proc_SignalCustomFolder_Desktop::onErrorOccured(const QString &msg)
{
    if (!msgBox)
        return;
    msgBox->setProperty(kInformText, msg);
    msgBox->setProperty(kVisible, true);
}

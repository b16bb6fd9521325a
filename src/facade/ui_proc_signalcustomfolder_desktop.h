#pragma once

// Relative, as in every header a host gets: installed, they lie under customfolder/, and a
// host names them so, with no folder of this project on its include path.
#include "../model/folderfiltermodel.h"
#include "customfolder_global.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVariantList>

class FolderModel;
class QAbstractItemModel;
class QJSEngine;
class QQmlEngine;

// What the custom folder page talks to: owns the folder model, turns the page's requests
// into model calls, relays the model's news to the page, and reports errors in the page's
// message box. Page objects are held through guarded references: a page object that is
// gone makes the operation that needs it do nothing.
class CUSTOMFOLDER_EXPORT UI_Proc_SignalCustomFolder_Desktop : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QAbstractItemModel *folderModel READ folderModel NOTIFY folderModelChanged)
    // The folder model through the page's search; the tree view shows this one.
    Q_PROPERTY(FolderFilterModel *filterModel READ filterModel CONSTANT)
    // The progress of the load under way, announced at most ten times a second.
    Q_PROPERTY(int itemsFound READ itemsFound NOTIFY loadProgressChanged)
    Q_PROPERTY(int itemsBuilt READ itemsBuilt NOTIFY loadProgressChanged)
    Q_PROPERTY(int jobsQueued READ jobsQueued NOTIFY loadProgressChanged)
    Q_PROPERTY(int jobsDone READ jobsDone NOTIFY loadProgressChanged)
    Q_PROPERTY(QString currentFile READ currentFile NOTIFY loadProgressChanged)
    Q_PROPERTY(int secondsLeft READ secondsLeft NOTIFY loadProgressChanged) // -1: not known yet
    // The transcodes running and waiting, running first; each with "fileIdx" (-1 for a file
    // outside the tree), "path", "type", "running", "progress" and "secondsLeft".
    Q_PROPERTY(QVariantList transcodeQueue READ transcodeQueue NOTIFY transcodeQueueChanged)
public:
    UI_Proc_SignalCustomFolder_Desktop();
    ~UI_Proc_SignalCustomFolder_Desktop() override;

    // For the host's QML engine, which owns the returned object.
    static QObject *singletonTypeProvider(QQmlEngine *engine, QJSEngine *scriptEngine);

    QAbstractItemModel *folderModel() const;
    FolderFilterModel *filterModel() const { return filter; }
    int itemsFound() const;
    int itemsBuilt() const;
    int jobsQueued() const;
    int jobsDone() const;
    QString currentFile() const;
    int secondsLeft() const;

    Q_INVOKABLE void setTreeView(QObject *view);
    Q_INVOKABLE void setTabItem(QObject *tab);
    Q_INVOKABLE void setMsgBox(QObject *box);
    // Call once per dialog: its quitApplication() starts a transcode request.
    Q_INVOKABLE void setTranscodeDialog(QObject *dialog);
    Q_INVOKABLE QObject *transcodeDialog() const;
    Q_INVOKABLE void setDragFileIdx(int idx);
    // The properties from which the host makes a layer of the dragged item.
    Q_INVOKABLE QVariantMap createMimeData();
    Q_INVOKABLE void deleteRow(int index);
    Q_INVOKABLE void reFreshTree();
    // The root at idx is found at newPath, a path or a file URL, from now on; its items keep
    // their uuids. False, with the reason in the message box, when it cannot move there.
    Q_INVOKABLE bool relinkFolder(int idx, const QString &newPath);

    // A value of the item's record, or "fileSize" in bytes (-1 when not known).
    Q_INVOKABLE QVariant itemProperty(int idx, const QString &key);
    Q_INVOKABLE QString itemUuid(int idx);
    // The uuids of a folder's children and of the folder; of every item for -1.
    Q_INVOKABLE QVariantList itemsUuid(int parent = -1);
    Q_INVOKABLE QString itemPath(int idx) const;
    // What names an item also after a restart, and the item it names now (-1 when none).
    Q_INVOKABLE QString itemKey(int idx) const;
    Q_INVOKABLE int itemIdOfKey(const QString &key) const;
    // What the page holds as a load ends: how many items of each type ("folder", "video",
    // "picture", "audio", "office"), how many are "invalid", and "leftOut", the files of no
    // media type that the load passed over.
    Q_INVOKABLE QVariantMap loadSummary() const;
    // Starts adding the entries that are directories; returns the others, as given.
    Q_INVOKABLE QVariantList addFolders(const QVariantList &entries);

    // Where the transcode of a file goes: beside it, "VEK_" + its name up to the first dot
    // + ".mkv".
    Q_INVOKABLE QString transcodeOutputFileName(const QString &name) const;
    Q_INVOKABLE bool checkExternalTranscoding(const QString &path) const;
    Q_INVOKABLE bool isTranscodingVideoInFolder(int parent = -1) const;
    Q_INVOKABLE bool checkIfTranscoding() const;
    Q_INVOKABLE void stopAllTranscodes();
    QVariantList transcodeQueue() const;

signals:
    void transcodeQueueChanged();
    void loadFolderBegan();
    void loadFolderEnded();
    void folderModelChanged();
    void loadProgressChanged();
    void folderTabNeedClose();
    void clearAll();
    void addFolder(const QString &path);
    void loadFolder(const QVariantMap &folder);
    void transcode(const QString &name, const QString &type, int w, int h);
    void registerExternalTranscodeFile(const QString &file, const QString &uuid);
    void transcode(int idx, const QString &type, int w, int h);
    void stopTranscode(const QString &name);
    void stopTranscode(int idx);
    void beginVideoFileTranscoding(const QString &uuid);
    void videoFileTranscodingStopped(const QString &uuid);
    void transcodingProgressChanged(const QString &uuid, int progress);
    void videoFileTranscoded(const QString &uuid, const QString &file);
    void monitoringSignalList(const QString &json);
    void checkTranscodeMark(const QString &uuid);
    void transcodeMarkFound(const QString &uuid, bool found);
    void addingFolder();
    void exceedTenLayer();
    void transcodeFailed(const QString &uuid, const QString &reason);

public slots:
    void onErrorOccured(const QString &msg);

private slots:
    void expandTabItem();
    void onErrorOccured(int ec);
    void onTranscodeBegin();

private:
    void connectModel();
    void countItems(int folderId, QHash<QString, int> &counts) const;

    int dragFileIdx = -1; // no item is dragged yet
    QPointer<QObject> tabItem;
    QPointer<QObject> treeView;
    QPointer<QObject> msgBox;
    QPointer<QObject> transcodeDialogObject;
    FolderModel *model;
    FolderFilterModel *filter;
};

#pragma once

#include <QObject>
#include <QString>
#include <QVector>

class DiskFollower;
class ItemTree;
class ModelSteps;
class TreeEdits;
class Ui_Proc_MediaInfo_Desktop;

// Moves a root to the folder that holds it now, as when a drive letter changed or a show
// folder was moved: every item keeps its id, uuid, record and pictures, and the layers that
// name items by uuid still find them. The keys and the stored paths change a few milliseconds
// a step; then the disk follower compares the folders with the new place.
class RootRelink : public QObject
{
    Q_OBJECT
public:
    RootRelink(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, DiskFollower *follower,
               Ui_Proc_MediaInfo_Desktop *store, QObject *parent);

    // Why the root cannot move there; empty when it can.
    QString refusal(int rootId, const QString &newPath) const;
    void start(int rootId, const QString &newPath);
    bool isMoving(int rootId) const { return rootId != 0 && rootId == movingRoot; }
    bool isBusy() const { return movingRoot != 0; }

private:
    void step();
    void moveItem(int id);
    QString movedPath(const QString &path) const;
    void finish();

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    DiskFollower *follower;
    Ui_Proc_MediaInfo_Desktop *store;
    int movingRoot = 0;
    QString from; // the root's path before the move
    QString to; // and after it
    QVector<int> idsToMove;
    int nextId = 0;
};

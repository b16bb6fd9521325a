#pragma once

#include <QObject>

#include <deque>

class ItemProbes;
class ItemTree;
class LoadProgress;
class ModelSteps;
class Ui_Proc_MediaInfo_Desktop;

// ReAdd marks the end of a refresh's removals: its folders are added again from there.
enum BuildFlag { Add = 0, Remove = 1, Save = 2, ReAdd = 3 };

struct BuildEntry
{
    int id;
    BuildFlag flag;
};

// Items whose records are to be stored, saved or forgotten, handled a few milliseconds a
// build step: the first record of every item the tree gains, what its jobs learnt, and the
// second phase of a removal.
class BuildQueue : public QObject
{
    Q_OBJECT
public:
    BuildQueue(ItemTree &tree, ModelSteps &steps, ItemProbes *probes,
               Ui_Proc_MediaInfo_Desktop *store, LoadProgress *progress, QObject *parent);

    bool isEmpty() const { return entries.empty(); }
    // Every item the tree gains is built once, and counts for the load's progress.
    void queueAdd(int id);
    void queue(int id, BuildFlag flag) { entries.push_back({id, flag}); }
    // One build chain at a time, however many jobs ended or entries arrived meanwhile.
    void scheduleBuild();
    void buildStep();
    // Builds what is left at once, but for the folders of a refresh, which would come back.
    void finishForTeardown();

signals:
    // The item's record, stored information and pictures are gone: its index entries may go.
    void itemForgotten(int id);
    // A refresh's removals are done.
    void removalsDone();

private:
    void buildEntry(const BuildEntry &entry);
    void buildItem(int id);
    void storeFirstRecord(int id, bool isFolder);
    void saveItem(int id);
    void forgetItem(int id);
    void removeFolderContents(int id);

    ItemTree &tree;
    ModelSteps &steps;
    ItemProbes *probes;
    Ui_Proc_MediaInfo_Desktop *store;
    LoadProgress *progress;
    std::deque<BuildEntry> entries;
    bool buildPosted = false;
};

#pragma once

#include "model/filetask.h"
#include "model/itemrecord.h"

#include <QModelIndex>
#include <QString>

constexpr qint64 kStepBudgetNs = 4 * 1000 * 1000; // a step leaves most of a frame to the GUI

// What the parts that fill and follow the tree ask of the item model, which alone tells
// views of changes. A part changes rows only through these, so that each change is announced
// around the change itself.
class TreeEdits
{
public:
    virtual QModelIndex indexOfId(int id) const = 0;
    // Where the item is now once a view has shown it, and invalid before: a view hears of
    // changes to the items it has shown.
    QModelIndex shownIndexOf(int id, const ItemRecord &record) const
    {
        return record.isShown() ? indexOfId(id) : QModelIndex();
    }
    virtual void insertRow(int parentId, int row, int id) = 0;
    // The row leaves the view; its item stays known, as a row that comes back at once does.
    virtual void takeRow(int parentId, int row) = 0;
    // The row leaves the view, and its item is forgotten by later build steps.
    virtual void removeRow(int id) = 0;
    virtual void beginAppendRows(int parentId, int count) = 0;
    virtual void endAppendRows() = 0;
    virtual void beginResetTree() = 0;
    virtual void endResetTree() = 0;
    // The view reads the item and its siblings again.
    virtual void notify(const QModelIndex &index) = 0;
    // The view reads every role of the item's siblings again; of the roots for no item.
    virtual void refreshRowsBeside(const QModelIndex &index) = 0;

protected:
    ~TreeEdits() = default;
};

// The posted-step pump that the parts share: every step is posted to the model, which runs it
// and then looks whether the work is done.
class ModelSteps
{
public:
    virtual void post(FileTaskType step) = 0;
    virtual void whenIdle() = 0;
    // Said once a load rather than for every item.
    virtual void reportOnce(const QString &problem, const QString &text) = 0;
    virtual bool isRestoring() const = 0;
    // A walk or the restore is still putting rows under the root.
    virtual bool isFilling(int rootId) const = 0;

protected:
    ~ModelSteps() = default;
};

#pragma once

#include <QSortFilterProxyModel>
#include <QStringList>

class FolderModel;

// The folder tree as the page's search shows it: the items whose name, or the name of a
// folder above them, holds the text in any letter case, of the chosen media types, and only
// the invalid ones when asked; a folder stays for as long as something below it matches. With no
// filter set every item shows. Items are known by their ids here as in the folder model: the rows
// of this model are only where they show now. Items that their jobs find invalid join the invalid
// ones when they are shown, or at the latest when the load ends.
class FolderFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY filterChanged)
    // Of "video", "picture", "audio" and "office"; empty: every type.
    Q_PROPERTY(QStringList types READ types WRITE setTypes NOTIFY filterChanged)
    Q_PROPERTY(bool invalidOnly READ invalidOnly WRITE setInvalidOnly NOTIFY filterChanged)
    Q_PROPERTY(bool isFiltering READ isFiltering NOTIFY filterChanged)
    // How a folder's rows are ordered, folders first: "name" (the default), "type" or
    // "length", each then by name, ascending and without regard to letter case. Roots keep
    // the order in which they were added.
    Q_PROPERTY(QString sortKey READ sortKey WRITE setSortKey NOTIFY sortKeyChanged)
public:
    FolderFilterModel(FolderModel *folders, QObject *parent);

    QString text() const { return filterText; }
    void setText(const QString &text);
    QStringList types() const { return filterTypes; }
    void setTypes(const QStringList &types);
    bool invalidOnly() const { return onlyInvalid; }
    void setInvalidOnly(bool invalidOnly);
    bool isFiltering() const;
    QString sortKey() const { return key; }
    void setSortKey(const QString &sortKey);

    // Where the item shows now; invalid when it is filtered out or not in the tree.
    Q_INVOKABLE QModelIndex indexOfId(int id) const;
    // The files that the filter shows, folders aside; read from the whole tree, rows that are
    // not mapped yet included.
    Q_INVOKABLE int matchCount() const;

signals:
    void filterChanged();
    void sortKeyChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    void refilter();
    bool accepts(int id, int rootNameStart) const;
    int matchesBelow(int folderId, int rootNameStart) const;
    int rootNameStart(int rootId) const;
    QString typeOf(int id) const;
    int lengthOf(int id) const;
    static constexpr int kSortRole = Qt::UserRole + 2;

    FolderModel *folders;
    QString filterText;
    QStringList filterTypes;
    bool onlyInvalid = false;
    QString key = QStringLiteral("name");
};

#pragma once
// The deep scan's file types as a tree of check boxes: groups with their types below. Every
// click goes to the core's choice model (which applies the tri-state rule and enables or
// disables the types); the boxes are then redrawn from it.
#include <QTreeWidget>

class CFileTypeTree;

class CFileTypeTreeWidget final : public QTreeWidget
{
    Q_OBJECT
public:
    CFileTypeTreeWidget(CFileTypeTree& types, QWidget* parent);

    /// The item of group `group`, or of type item `item` of the model.
    QTreeWidgetItem* GroupItem(int group) const;
    QTreeWidgetItem* TypeItem(int item) const;

private:
    void Fill();
    void Sync();
    void OnItemChanged(QTreeWidgetItem* item);

    CFileTypeTree& m_Types;
    bool m_bSyncing = false;
};

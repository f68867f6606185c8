#pragma once
// The icons of the file list: files and folders as found, deleted, or made up for lost files,
// drawn once from the style's icons with a mark (red cross for deleted, orange question mark
// for lost).
#include <QIcon>

struct tagTreeNode;

namespace GuiIcons {

enum class EIcon
{
    File,
    Folder,
    DeletedFile,
    DeletedFolder,
    LostFolder,
};

QIcon Icon(EIcon kind);
/// The icon of a node of the file tree.
QIcon NodeIcon(const tagTreeNode* node);
/// True when the node is listed as a folder.
bool IsFolderNode(const tagTreeNode* node);
/// The condition column's icon of a file node (a tick for intact, a stop sign for overwritten,
/// a warning for unreadable parts, a question mark for unknown); none for a folder.
QIcon ConditionIcon(const tagTreeNode* node);

} // namespace GuiIcons

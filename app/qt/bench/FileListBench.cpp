// The file list with a folder of a million entries: filling the list, ticking everything,
// selecting every row, scrolling to the end and sorting (the model alone, and header clicks as
// the user makes them), then the list of all files filled between events. Run headless:
//   QT_QPA_PLATFORM=offscreen bench_gui_filelist [count]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>

#include "CFileListModel.h"
#include "CFolderTreeModel.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"

namespace {

double Ms(QElapsedTimer& timer)
{
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

void Paint(QWidget& widget)
{
    widget.repaint();
    QCoreApplication::processEvents();
}

// A click on the header of `column`, as the user sorts. (QTreeView::sortByColumn would sort
// twice while sorting is enabled: once for the indicator's change and once more itself.)
void ClickHeader(QTreeView& view, int column)
{
    QHeaderView* header = view.header();
    const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
    const QPoint global = header->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &press);
    QCoreApplication::sendEvent(header->viewport(), &release);
    Paint(view);
}

const char* OrderName(const QTreeView& view)
{
    return view.header()->sortIndicatorOrder() == Qt::AscendingOrder ? "ascending" : "descending";
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;

    QElapsedTimer timer;
    timer.start();
    KFileNode store(FN_EXTRA_IDS);
    KNodeTree tree;
    tagFileNode* rootRecord = store.AddNode("ROOT");
    rootRecord->wValidMask = FN_MASK_SYSTEM_FOLDER;
    rootRecord->wAttributes = FN_ATTR_FOLDER;
    tree.SetStore(&store);
    tagTreeNode* root = tree.SetRoot(rootRecord);
    uint32_t seed = 12345;
    for (long i = 0; i < count; ++i)
    {
        seed = seed * 1103515245u + 12345u;
        char name[32];
        std::snprintf(name, sizeof(name), "file%07u.%s", seed % 10000000u, (i % 3) ? "jpg" : "txt");
        tagFileNode* record = store.AddNode(name);
        record->wValidMask = FN_MASK_FOUND;
        record->wAttributes = FN_ATTR_ARCHIVE;
        record->byKind = (i % 7) ? FN_KIND_PRESENT : FN_KIND_DELETED;
        record->s64Size = static_cast<int64_t>(seed % 5000000u);
        record->ftModified = record->ftCreated = 132000000000000000ull + seed;
        tagTreeNode* node = tree.NewNode();
        node->pRecord = record;
        node->pParent = root;
        KNodeTree::LinkChild(root, node);
    }
    std::printf("build tree of %ld files: %.0f ms\n", count, Ms(timer));

    {
        // The model's own sorting, without a view. The first sort by a column works out that
        // column's order; later ones reuse it from whatever order the list is in.
        CFileListModel alone;
        alone.SetFolder(&tree, root);
        Ms(timer);
        alone.sort(CFileListModel::kSize, Qt::DescendingOrder);
        std::printf("model alone, sort by size: %.0f ms\n", Ms(timer));
        alone.sort(CFileListModel::kName);
        std::printf("model alone, sort by name (from size order): %.0f ms\n", Ms(timer));
        alone.sort(CFileListModel::kType);
        std::printf("model alone, sort by type (from name order): %.0f ms\n", Ms(timer));
        alone.sort(CFileListModel::kName, Qt::DescendingOrder);
        std::printf("model alone, sort by name again (descending): %.0f ms\n", Ms(timer));
        alone.sort(CFileListModel::kType, Qt::DescendingOrder);
        std::printf("model alone, sort by type again (descending): %.0f ms\n", Ms(timer));
    }

    CFolderTreeModel folders;
    CFileListModel list;
    QTreeView view;
    view.resize(760, 480);
    view.setModel(&list);
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setSortingEnabled(true);
    view.header()->setSortIndicator(-1, Qt::AscendingOrder);
    view.show();
    folders.SetTree(&tree);
    Ms(timer);
    list.SetFolder(&tree, root);
    Paint(view);
    std::printf("fill list and first paint: %.1f ms\n", Ms(timer));

    folders.setData(folders.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    list.RefreshChecks();
    Paint(view);
    uint64_t bytes = 0;
    uint32_t selected = 0;
    tree.GetSelection(&bytes, &selected);
    std::printf("tick all (%u files) and repaint: %.1f ms\n", selected, Ms(timer));

    view.selectAll();
    Paint(view);
    std::printf("select all rows and repaint: %.1f ms\n", Ms(timer));

    view.scrollToBottom();
    Paint(view);
    std::printf("scroll to the end and repaint: %.1f ms\n", Ms(timer));

    for (int page = 0; page < 100; ++page)
    {
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() - 20);
        Paint(view);
    }
    std::printf("100 page moves with repaint: %.1f ms\n", Ms(timer));

    ClickHeader(view, CFileListModel::kName);
    std::printf("click Name (%s): %.0f ms\n", OrderName(view), Ms(timer));
    ClickHeader(view, CFileListModel::kName);
    std::printf("click Name again (%s): %.0f ms\n", OrderName(view), Ms(timer));
    ClickHeader(view, CFileListModel::kSize);
    std::printf("click Size (%s): %.0f ms\n", OrderName(view), Ms(timer));
    ClickHeader(view, CFileListModel::kType);
    std::printf("click Type (%s): %.0f ms\n", OrderName(view), Ms(timer));
    ClickHeader(view, CFileListModel::kName);
    std::printf("click Name after Type (%s): %.0f ms\n", OrderName(view), Ms(timer));
    ClickHeader(view, CFileListModel::kType);
    std::printf("click Type after Name (%s): %.0f ms\n", OrderName(view), Ms(timer));
    view.sortByColumn(CFileListModel::kName, Qt::AscendingOrder);
    Paint(view);
    std::printf("sortByColumn(Name) from type order (sorts twice): %.0f ms\n", Ms(timer));
    list.sort(-1);
    Paint(view);
    std::printf("back to tree order: %.0f ms\n", Ms(timer));

    // The list of all files, filled a batch per turn of the event loop: the longest turn is
    // what the user could feel.
    list.SetFlat(&tree, root);
    double longest = 0;
    int turns = 0;
    QElapsedTimer turn;
    while (list.Filling())
    {
        turn.start();
        QCoreApplication::processEvents();
        longest = std::max(longest, static_cast<double>(turn.nsecsElapsed()) / 1e6);
        ++turns;
    }
    Paint(view);
    std::printf("all files (%d rows): %.0f ms in %d turns, longest turn %.1f ms\n", list.rowCount(), Ms(timer), turns,
                longest);
    list.sort(CFileListModel::kPath);
    Paint(view);
    std::printf("all files, sort by path: %.0f ms\n", Ms(timer));
    return 0;
}

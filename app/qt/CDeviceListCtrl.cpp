#include "CDeviceListCtrl.h"

#include <QHeaderView>
#include <QStyle>

#include "core/DeviceList.h"

namespace {

constexpr int kVolumeRole = Qt::UserRole + 1;
constexpr int kPhysicalRole = Qt::UserRole + 2;
constexpr int kTypeRole = Qt::UserRole + 3;

} // namespace

CDeviceListCtrl::CDeviceListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIndentation(22);
}

void CDeviceListCtrl::Fill(KVolumeManager& volumes, EModule module)
{
    clear();
    const std::vector<std::string> headers = CDeviceList::Headers(module);
    QStringList labels;
    for (const std::string& h : headers) labels << QString::fromStdString(h);
    setColumnCount(labels.size());
    setHeaderLabels(labels);
    // Device, [Type, Start Sector,] Capacity, Information.
    const bool wide = headers.size() > 3;
    const std::vector<int> widths = wide ? std::vector<int>{300, 100, 100, 100, 300} : std::vector<int>{300, 100, 300};
    for (int c = 0; c < static_cast<int>(widths.size()); ++c) setColumnWidth(c, widths[size_t(c)]);
    const int capacityColumn = wide ? 3 : 1;
    QTreeWidgetItem* lastTop = nullptr;
    for (const tagDeviceRow& row : CDeviceList::Rows(volumes, module))
    {
        QStringList texts;
        for (const std::string& text : CDeviceList::Columns(row, module)) texts << QString::fromStdString(text);
        QTreeWidgetItem* item = nullptr;
        if (row.bIndented && lastTop)
            item = new QTreeWidgetItem(lastTop, texts);
        else
        {
            item = new QTreeWidgetItem(this, texts);
            lastTop = item;
        }
        item->setData(0, kVolumeRole, row.nVolume);
        item->setData(0, kPhysicalRole, row.bPhysical);
        item->setData(0, kTypeRole, QString::fromStdString(row.strType));
        item->setIcon(0, style()->standardIcon(row.bPhysical ? QStyle::SP_DriveHDIcon : QStyle::SP_DirIcon));
        item->setTextAlignment(capacityColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (wide) item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    expandAll();
}

int CDeviceListCtrl::SelectedVolume() const
{
    const QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected()) return -1;
    return item->data(0, kVolumeRole).toInt();
}

bool CDeviceListCtrl::SelectedIsPhysical() const
{
    const QTreeWidgetItem* item = currentItem();
    return item && item->isSelected() && item->data(0, kPhysicalRole).toBool();
}

QTreeWidgetItem* CDeviceListCtrl::ItemOf(int volume) const
{
    for (QTreeWidgetItemIterator it(const_cast<CDeviceListCtrl*>(this)); *it; ++it)
    {
        if ((*it)->data(0, kVolumeRole).toInt() == volume) return *it;
    }
    return nullptr;
}

bool CDeviceListCtrl::SelectVolume(int volume)
{
    QTreeWidgetItem* item = ItemOf(volume);
    if (!item) return false;
    setCurrentItem(item);
    item->setSelected(true);
    return true;
}

QString CDeviceListCtrl::DeviceText(int volume) const
{
    const QTreeWidgetItem* item = ItemOf(volume);
    return item ? item->text(0) : QString();
}

QString CDeviceListCtrl::TypeText(int volume) const
{
    const QTreeWidgetItem* item = ItemOf(volume);
    return item ? item->data(0, kTypeRole).toString() : QString();
}

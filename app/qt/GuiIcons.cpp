#include "GuiIcons.h"

#include <iterator>

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include "fs/KNodeTree.h"

namespace GuiIcons {
namespace {

QIcon Marked(QStyle::StandardPixmap base, const QColor& colour, bool cross)
{
    QPixmap pixmap = QApplication::style()->standardIcon(base).pixmap(16, 16);
    if (pixmap.isNull())
    {
        pixmap = QPixmap(16, 16);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 2.2);
    painter.setPen(pen);
    if (cross)
    {
        painter.drawLine(QPointF(8.5, 8.5), QPointF(15, 15));
        painter.drawLine(QPointF(15, 8.5), QPointF(8.5, 15));
    }
    else
    {
        QFont font = painter.font();
        font.setPixelSize(11);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRectF(7, 5, 9, 11), Qt::AlignCenter, QStringLiteral("?"));
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon Icon(EIcon kind)
{
    static const QIcon s_Icons[] = {
        QApplication::style()->standardIcon(QStyle::SP_FileIcon),
        QApplication::style()->standardIcon(QStyle::SP_DirIcon),
        Marked(QStyle::SP_FileIcon, QColor(220, 0, 0), true),
        Marked(QStyle::SP_DirIcon, QColor(220, 0, 0), true),
        Marked(QStyle::SP_DirIcon, QColor(230, 120, 0), false),
    };
    return s_Icons[static_cast<int>(kind)];
}

bool IsFolderNode(const tagTreeNode* node) { return node && (node->pFirstChild || IsFolderRecord(node->pRecord)); }

QIcon NodeIcon(const tagTreeNode* node)
{
    const tagFileNode* record = node ? node->pRecord : nullptr;
    const uint8_t kind = record ? record->byKind : 0;
    if (IsFolderNode(node))
    {
        if (kind & FN_KIND_DELETED) return Icon(EIcon::DeletedFolder);
        if (kind & FN_KIND_LOST) return Icon(EIcon::LostFolder);
        return Icon(EIcon::Folder);
    }
    return Icon((kind & FN_KIND_DELETED) ? EIcon::DeletedFile : EIcon::File);
}

QIcon ConditionIcon(const tagTreeNode* node)
{
    if (!node || IsFolderNode(node) || !IsFileRecord(node->pRecord)) return QIcon();
    static const QIcon s_Icons[] = {
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion),
        QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton),
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical),
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning),
    };
    static_assert(std::size(s_Icons) == FN_COND_LAST + 1);
    return s_Icons[KnownCondition(node->pRecord->byCondition)];
}

} // namespace GuiIcons

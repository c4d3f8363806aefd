#pragma once
// Small helpers the folder tree's files share: node icons and walking nodes.
#include "platform/shell/SystemImageList.h"

#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace TreeNodes {

inline QIcon makeNodeIcon(int iconIndex, int openIconIndex, int overlayIndex)
{
    const QIcon closed = SystemImageList::icon(iconIndex);
    const QIcon open = SystemImageList::icon(openIconIndex);
    if (closed.isNull() && open.isNull()) return {};
    const int s = SystemImageList::kSmallSize;
    auto withOverlay = [&](const QIcon& base) {
        QPixmap pm = base.pixmap(s, s);
        if (overlayIndex < 0 || pm.isNull()) return pm;
        const QIcon emblem = QIcon::fromTheme(overlayIndex == 1 ? QStringLiteral("emblem-symbolic-link")
                                                                : QStringLiteral("emblem-shared"));
        if (!emblem.isNull()) {
            QPainter p(&pm);
            p.drawPixmap(0, s / 2, emblem.pixmap(s / 2, s / 2));
        }
        return pm;
    };
    QIcon icon;
    icon.addPixmap(withOverlay(closed.isNull() ? open : closed), QIcon::Normal);
    icon.addPixmap(withOverlay(open.isNull() ? closed : open), QIcon::Selected);
    return icon;
}

// Nodes share a handful of icons; making each anew would cost a pixmap per node.
inline QIcon nodeIcon(QHash<quint64, QIcon>& made, int iconIndex, int openIconIndex, int overlayIndex)
{
    const quint64 key = (quint64(quint32(iconIndex)) << 32) ^ (quint64(quint32(openIconIndex)) << 8) ^
                        quint64(quint8(overlayIndex));
    auto it = made.find(key);
    if (it == made.end()) it = made.insert(key, makeNodeIcon(iconIndex, openIconIndex, overlayIndex));
    return it.value();
}

// Next node in tree order after a node's whole sub-tree.
inline QTreeWidgetItem* nextAfterSubtree(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* n = node; n; n = n->parent()) {
        QTreeWidgetItem* parent = n->parent();
        if (!parent) {
            QTreeWidget* tree = n->treeWidget();
            const int i = tree ? tree->indexOfTopLevelItem(n) : -1;
            return (tree && i >= 0 && i + 1 < tree->topLevelItemCount()) ? tree->topLevelItem(i + 1) : nullptr;
        }
        const int i = parent->indexOfChild(n);
        if (i + 1 < parent->childCount()) return parent->child(i + 1);
    }
    return nullptr;
}

inline bool isInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    for (const QTreeWidgetItem* n = node; n; n = n->parent())
        if (n == ancestor) return true;
    return false;
}

template <typename F>
void forEachNode(QTreeWidgetItem* node, const F& f)
{
    f(node);
    for (int i = 0; i < node->childCount(); ++i) forEachNode(node->child(i), f);
}
}  // namespace TreeNodes

#include "ui/widgets/ChannelTree.h"

#include <QTreeWidget>

#include "ui/framework/KelvoStyle.h"
#include "ui/widgets/ChannelLabels.h"

void fillChannelTree(QTreeWidget* tree, const ChannelTable& live) {
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    // Lines between the items and at the root, and plus and minus boxes.
    tree->setStyle(kelvoStyle());
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setAllColumnsShowFocus(true);

    QTreeWidgetItem* all = nullptr;
    for (const ChannelTreeItem& entry : channelTreeItems(live)) {
        auto* item = new QTreeWidgetItem({entry.label});
        item->setData(0, Qt::UserRole, entry.data);
        if (entry.child && all) {
            all->addChild(item);
        } else {
            tree->addTopLevelItem(item);
            if (!all) all = item;
        }
    }
    if (all) all->setExpanded(true);
    tree->clearSelection();
    tree->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
}

#include "AcceptedNodes.h"

#include <algorithm>

// Qt
#include <QTreeWidget>

TAcceptedNodes::TAcceptedNodes(QTreeWidget *tree, int periodMs, QObject *parent) : QObject(parent), FTree(tree), FPeriodMs(periodMs)
{
    FPeriod.setSingleShot(true);
    connect(&FPeriod, &QTimer::timeout, this, &TAcceptedNodes::Flush);
}

int TAcceptedNodes::PeriodFor(int rows)
{
    // About 25 microseconds of layout a row (measured at 10,000 rows): a period forty times the
    // row count in microseconds keeps the layouts to a few percent of the time.
    constexpr int ShortestMs = 40;
    constexpr int LongestMs = 250;
    return std::clamp(rows / 40, ShortestMs, LongestMs);
}

void TAcceptedNodes::Add(QTreeWidgetItem *parent, QTreeWidgetItem *node)
{
    if (FPeriod.isActive() || !FWaiting.empty()) {
        FWaiting.emplace_back(parent, node);
        return;
    }
    FPeriod.start(FPeriodMs);
    Put(parent, {node});
}

void TAcceptedNodes::Forget(QTreeWidgetItem *node)
{
    FWaiting.erase(std::remove_if(FWaiting.begin(), FWaiting.end(), [node](const auto &w) { return w.second == node; }),
                   FWaiting.end());
}

void TAcceptedNodes::DropAll()
{
    std::vector<std::pair<QTreeWidgetItem *, QTreeWidgetItem *>> waiting;
    waiting.swap(FWaiting);
    for (const auto &w : waiting)
        delete w.second;
}

void TAcceptedNodes::Flush()
{
    std::vector<std::pair<QTreeWidgetItem *, QTreeWidgetItem *>> waiting;
    waiting.swap(FWaiting);
    // One insertion per server, in accept order.
    for (size_t i = 0; i < waiting.size();) {
        QTreeWidgetItem *parent = waiting[i].first;
        QList<QTreeWidgetItem *> nodes;
        for (; i < waiting.size() && waiting[i].first == parent; ++i)
            nodes << waiting[i].second;
        Put(parent, nodes);
    }
}

void TAcceptedNodes::Put(QTreeWidgetItem *parent, const QList<QTreeWidgetItem *> &nodes)
{
    parent->addChildren(nodes);
    parent->setExpanded(true);
    FTree->setCurrentItem(nodes.last());
}

#pragma once
// The tree nodes of accepted connections, put below their server's node and selected: at once,
// or, while connections arrive in quick succession, together at the end of a period.
//
// Why: a tree view lays out all of its rows again for every row put below an expanded node and
// for every selection that scrolls to a new row. With a node per connection each accept cost as
// much as the nodes before it (measured: the ten-thousandth accept about 4 ms, the first 0.1 ms).
// Once a period, the view lays out once for all the nodes of the period.

#include <vector>

// Qt
#include <QObject>
#include <QTimer>

class QTreeWidget;
class QTreeWidgetItem;

class TAcceptedNodes : public QObject {
public:
    TAcceptedNodes(QTreeWidget *tree, int periodMs, QObject *parent);

    // How long a period lasts for a tree of this many rows: the tree lays out all of its rows
    // again at every put, so with thousands of rows the puts come further apart, to keep the
    // layouts to a small share of the time; four a second at the least.
    static int PeriodFor(int rows);
    // The period from the next one on (the one running keeps its length).
    void SetPeriod(int periodMs) { FPeriodMs = periodMs; }

    // Puts the node (made without a parent) below parent, expands parent and selects the node:
    // now when no other came within the period, else at its end, the last one selected then.
    void Add(QTreeWidgetItem *parent, QTreeWidgetItem *node);
    // The node is about to be deleted: it is no longer put in.
    void Forget(QTreeWidgetItem *node);
    // Deletes the nodes still waiting.
    void DropAll();
    // Puts the waiting nodes in now.
    void Flush();

private:
    void Put(QTreeWidgetItem *parent, const QList<QTreeWidgetItem *> &nodes);

    QTreeWidget *FTree;
    QTimer FPeriod;
    int FPeriodMs;
    std::vector<std::pair<QTreeWidgetItem *, QTreeWidgetItem *>> FWaiting;
};

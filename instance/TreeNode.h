#pragma once
// Tree nodes of the main window: the instance a node carries (none for a category node) and the
// node's state image.

class QIcon;
class QTreeWidgetItem;
class TMySocket;

// State indices of the tree's state images.
namespace state {
constexpr int Connected = 1;
constexpr int NotConnected = 2;
constexpr int Listening = 3;
constexpr int Stopped = 4;
constexpr int Udp = 5;
constexpr int Group = 6;
constexpr int Category = 7;
} // namespace state

TMySocket *NodeInstance(const QTreeWidgetItem *node);
void SetNodeInstance(QTreeWidgetItem *node, TMySocket *instance);

int StateIndex(const QTreeWidgetItem *node);
// Index 0 draws no state image.
void SetStateIndex(QTreeWidgetItem *node, int index);

// ImageList1: the eight 16 x 16 state pictures; picture 0 is never shown.
const QIcon &StateImage(int index);
constexpr int StateImageCount = 8;

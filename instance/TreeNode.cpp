#include "TreeNode.h"

#include <array>
#include <cmath>

// Qt
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidgetItem>

#include "TMySocket.h"

namespace {

constexpr int InstanceRole = Qt::UserRole + 1;
constexpr int StateRole = Qt::UserRole + 2;

QPixmap blank()
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return p;
}

QPixmap dotInRing(QColor dot, QColor ring, bool dashed)
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QPen pen(ring, 1.5);
    if (dashed)
        pen.setDashPattern({2.0, 1.5});
    g.setPen(pen);
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    g.setPen(Qt::NoPen);
    g.setBrush(dot);
    g.drawEllipse(QRectF(4.5, 4.5, 7, 7));
    return p;
}

QPixmap serverBox(bool running)
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QColor(70, 70, 90));
    g.setBrush(QColor(200, 205, 215));
    g.drawRect(QRectF(2.5, 1.5, 9, 13));
    g.setPen(QColor(120, 120, 140));
    g.drawLine(QPointF(4, 4.5), QPointF(10, 4.5));
    g.drawLine(QPointF(4, 6.5), QPointF(10, 6.5));
    g.setPen(Qt::NoPen);
    if (running) {
        g.setBrush(QColor(0, 170, 0));
        const QPointF tri[3] = {QPointF(8, 8), QPointF(15, 11.5), QPointF(8, 15)};
        g.drawPolygon(tri, 3);
    } else {
        g.setBrush(QColor(210, 0, 0));
        g.drawRect(QRectF(8.5, 8.5, 6.5, 6.5));
    }
    return p;
}

QPixmap sun()
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(230, 170, 0), 1.3));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        g.drawLine(QPointF(8 + 5 * std::cos(a), 8 + 5 * std::sin(a)), QPointF(8 + 7.3 * std::cos(a), 8 + 7.3 * std::sin(a)));
    }
    g.setPen(QColor(220, 150, 0));
    g.setBrush(QColor(255, 215, 0));
    g.drawEllipse(QRectF(4, 4, 8, 8));
    return p;
}

QPixmap fourSquares()
{
    QPixmap p = blank();
    QPainter g(&p);
    g.setPen(QColor(0, 40, 140));
    g.setBrush(QColor(40, 100, 220));
    g.drawRect(1, 1, 6, 6);
    g.drawRect(9, 1, 6, 6);
    g.drawRect(1, 9, 6, 6);
    g.drawRect(9, 9, 6, 6);
    return p;
}

const std::array<QIcon, StateImageCount> &imageList()
{
    static const std::array<QIcon, StateImageCount> list = {
        QIcon(blank()),
        QIcon(dotInRing(QColor(0, 230, 0), QColor(0, 170, 0), true)),
        QIcon(dotInRing(QColor(0, 100, 0), QColor(0, 100, 0), false)),
        QIcon(serverBox(true)),
        QIcon(serverBox(false)),
        QIcon(dotInRing(QColor(240, 200, 0), QColor(220, 170, 0), true)),
        QIcon(sun()),
        QIcon(fourSquares()),
    };
    return list;
}

} // namespace

TMySocket *NodeInstance(const QTreeWidgetItem *node)
{
    if (!node)
        return nullptr;
    return static_cast<TMySocket *>(node->data(0, InstanceRole).value<void *>());
}

void SetNodeInstance(QTreeWidgetItem *node, TMySocket *instance)
{
    node->setData(0, InstanceRole, QVariant::fromValue(static_cast<void *>(instance)));
}

int StateIndex(const QTreeWidgetItem *node)
{
    return node ? node->data(0, StateRole).toInt() : 0;
}

void SetStateIndex(QTreeWidgetItem *node, int index)
{
    if (!node)
        return;
    node->setData(0, StateRole, index);
    node->setIcon(0, index > 0 && index < StateImageCount ? StateImage(index) : QIcon());
}

const QIcon &StateImage(int index)
{
    return imageList().at(static_cast<size_t>(index));
}

// The soak's checks after every step: the tree, the list and the windows agree; every box shown
// was one the step (or an earlier one, for what comes later) could show; every byte a peer sent is
// counted in its window; every byte a window counted as sent reached its peer, in order.

#include "Soak.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// Qt
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QSet>
#include <QTreeWidget>

#include "DataWindowStack.h"
#include "FileIo.h"
#include "LogView.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "datapanel.h"

namespace soak {

namespace {

// How long a step's invariants may take to settle (events in flight, deferred frees, windows
// coming forward) before the state counts as wrong.
constexpr int SettleMs = 3000;

// Datagrams the system dropped at the UDP socket bound to this port (/proc/net/udp).
long long UdpDrops(int port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string sl, local, field, last;
        fields >> sl >> local;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || std::stoi(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        while (fields >> field)
            last = field;
        return std::stoll(last);
    }
    return 0;
}

} // namespace

void Soak::Allow(const QString &start, bool lasting)
{
    FAllowed.push_back({start, lasting});
}

bool Soak::Check(QString *failure)
{
    if (!FLateFailure.isEmpty()) {
        *failure = FLateFailure;
        return false;
    }
    QString why;
    QElapsedTimer waited;
    waited.start();
    const bool settled = testing_support::WaitUntil([&] { return Consistent(&why) && PeersGotWhatWasSent(&why); },
                                                    SettleMs);
    FLongestSettle = std::max(FLongestSettle, double(waited.elapsed()));
    if (!settled) {
        *failure = why + QStringLiteral(" (still after %1 ms)").arg(SettleMs);
        return false;
    }
    if (!BoxesExpected(&why)) {
        *failure = why;
        return false;
    }
    return true;
}

bool Soak::BoxesExpected(QString *why)
{
    // A peer's reset or close met by a read or send is the socket error box of its connection.
    static const QRegularExpression peerEnded(
        QStringLiteral("^Windows socket error: .* \\((10053|10054|10058|10032)\\), on API '(recv|send)'$"));
    for (; FBoxesChecked < FBoxes.size(); ++FBoxesChecked) {
        const QString &box = FBoxes[FBoxesChecked];
        if (peerEnded.match(box).hasMatch())
            continue;
        const bool allowed = std::any_of(FAllowed.begin(), FAllowed.end(),
                                         [&](const AllowedBox &a) { return box.startsWith(a.start); });
        if (!allowed) {
            *why = QStringLiteral("a box nobody expected: \"%1\"").arg(box);
            return false;
        }
    }
    return true;
}

bool Soak::PeersGotWhatWasSent(QString *why)
{
    DrainPeers();
    for (const TcpPeer &p : FPeers) {
        if (!p.open || !p.exact)
            continue;
        const qsizetype n = std::min(p.received.size(), p.expected.size());
        if (p.received.size() > p.expected.size() || p.received.first(n) != p.expected.first(n))
            return *why = QStringLiteral("peer %1 got %2 bytes that differ from the %3 its window counted as sent")
                              .arg(p.localPort)
                              .arg(p.received.size())
                              .arg(p.expected.size()),
                   false;
        if (n < p.expected.size())
            return *why = QStringLiteral("peer %1 got %2 of the %3 bytes its window counted as sent")
                              .arg(p.localPort)
                              .arg(p.received.size())
                              .arg(p.expected.size()),
                   false;
    }
    if (!FUdpFailure.isEmpty())
        return *why = FUdpFailure, false;
    if (FUdpPeer >= 0) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(FUdpPeer, reinterpret_cast<sockaddr *>(&a), &len);
        const long long dropped = UdpDrops(ntohs(a.sin_port));
        if (FUdpSent - FUdpReceived != dropped)
            return *why = QStringLiteral("the UDP peer got %1 of the %2 datagrams windows counted as sent, and the "
                                         "system dropped %3")
                              .arg(FUdpReceived)
                              .arg(FUdpSent)
                              .arg(dropped),
                   false;
    }
    return true;
}

bool Soak::Consistent(QString *why)
{
    QSet<TMySocket *> listed;
    for (TMySocket *i : Instances()) {
        listed.insert(i);
        if (!i->Node || NodeInstance(i->Node) != i)
            return *why = QStringLiteral("%1 has no node that carries it").arg(i->Kind), false;
        if (!i->DataWindow || i->DataWindow->MySocket != i)
            return *why = QStringLiteral("%1 has no data window of its own").arg(i->Kind), false;
        QTreeWidgetItem *parent = i->Node->parent();
        const bool accepted = i->Kind == kind::TcpServerClient;
        if (!parent || (accepted ? NodeInstance(parent) == nullptr || NodeInstance(parent)->Kind != kind::TcpServer
                                 : parent != form->CategoryNode(i->Kind)))
            return *why = QStringLiteral("%1's node hangs in the wrong place").arg(i->Kind), false;
        const int image = StateIndex(i->Node);
        int want = 0;
        if (i->Kind == kind::TcpServer)
            want = i->LinkState == 1 ? state::Listening : state::Stopped;
        else if (i->Kind == kind::TcpClient || accepted)
            want = i->LinkState == 1 ? state::Connected : state::NotConnected;
        else
            want = i->Kind == kind::UdpGroup ? state::Group : state::Udp;
        // A connection kept after its close is greyed, and linked no more.
        if (IsKept(i)
            && (i->LinkState != 0
                || i->Node->foreground(0).color() != form->TreeView1->palette().color(QPalette::Disabled, QPalette::Text)))
            return *why = QStringLiteral("a kept connection is linked or not greyed"), false;
        if (image != want)
            return *why = QStringLiteral("%1 with link state %2 shows state image %3").arg(i->Kind).arg(i->LinkState).arg(image),
                   false;
    }
    // A window shows what it keeps, however late it was first shown.
    for (TMySocket *i : Instances()) {
        TFrmData *w = i->DataWindow;
        if (!w->IsBuilt())
            continue;
        if (w->Label1->text() != w->Status().Labels[0] || w->Label3->text() != w->Status().Labels[2]
            || w->Label6->text() != w->Status().Labels[5])
            return *why = QStringLiteral("%1's status labels differ from its status").arg(i->Kind), false;
        if (w->StatusBar2Panel0->text() != w->CounterText())
            return *why = QStringLiteral("%1's counter panel differs from its counters").arg(i->Kind), false;
        if (w->Memo2->lineCount() != w->LogLineCount() || w->HexMode() != w->CheckBox2->isChecked())
            return *why = QStringLiteral("%1's log or hex switch differs").arg(i->Kind), false;
    }
    if (!WindowsPlaced(why))
        return false;
    // Every instance node of the tree is listed.
    int nodes = 0;
    std::function<bool(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *n) {
        for (int c = 0; c < n->childCount(); ++c) {
            ++nodes;
            if (!listed.contains(NodeInstance(n->child(c))) || !walk(n->child(c)))
                return false;
        }
        return true;
    };
    for (int t = 0; t < form->TreeView1->topLevelItemCount(); ++t)
        if (!walk(form->TreeView1->topLevelItem(t)))
            return *why = QStringLiteral("a node carries an instance that is not listed"), false;
    if (nodes != listed.size())
        return *why = QStringLiteral("%1 nodes for %2 instances").arg(nodes).arg(listed.size()), false;
    if (form->DataWindows->Count() != listed.size())
        return *why = QStringLiteral("%1 data windows for %2 instances").arg(form->DataWindows->Count()).arg(listed.size()),
               false;
    // Every byte a peer sent is counted in the window of its end.
    for (const Expectation &e : FExpected)
        if (e.window && e.exact && e.window->MySocket && listed.contains(e.window->MySocket)
            && e.window->RecvCount != e.received)
            return *why = QStringLiteral("%1 counted %2 bytes of the %3 its peers sent")
                              .arg(e.window->MySocket->Kind)
                              .arg(e.window->RecvCount)
                              .arg(e.received),
                   false;
    return true;
}

// Side by side, every window of the area lies inside it at no less than its least size, unless the
// area is too small for that.
bool Soak::WindowsPlaced(QString *why)
{
    if (!form->DataWindows->SideBySide())
        return true;
    const QWidget *viewport = form->MdiArea->viewport();
    for (QMdiSubWindow *frame : form->MdiArea->subWindowList()) {
        if (frame->isMinimized() || frame->isMaximized() || !frame->isVisible())
            continue;
        const QSize least = frame->minimumSizeHint();
        if (least.width() > viewport->width() || least.height() > viewport->height())
            continue;
        if (!viewport->rect().contains(frame->geometry()))
            return *why = QStringLiteral("a window side by side lies outside the area"), false;
        if (frame->size().width() < least.width() || frame->size().height() < least.height())
            return *why = QStringLiteral("a window side by side is smaller than its least size"), false;
    }
    return true;
}

bool Soak::EndSequence(QString *failure)
{
    std::printf("end of sequence: deleting everything\n");
    if (FFormClosed)
        ReopenAfterClose();
    for (int bound = 0; !form->SocketList.IsEmpty(); ++bound) {
        if (bound > 10000) {
            *failure = QStringLiteral("delete does not take the instances away");
            return false;
        }
        TMySocket *last = form->SocketList.Items(form->SocketList.Count() - 1);
        // An accepted connection goes with its server.
        while (last->Kind == kind::TcpServerClient && last->Node && last->Node->parent()
               && NodeInstance(last->Node->parent()))
            last = NodeInstance(last->Node->parent());
        Delete(last);
        testing_support::DrainEvents();
    }
    if (!Check(failure))
        return false;
    ClosePeers();
    testing_support::DrainEvents();
    if (OpenSockets() != FBaseSockets) {
        *failure = QStringLiteral("%1 sockets of the program left open after deleting everything")
                       .arg(OpenSockets() - FBaseSockets);
        return false;
    }
    // Every capture and save has written what it held and closed its file.
    if (!fileio::WaitForWorkers(10000)) {
        *failure = QStringLiteral("%1 file workers still running after deleting everything").arg(fileio::RunningWorkers());
        return false;
    }
    FAllowed.clear();
    form->close();
    NewForm();
    return true;
}

} // namespace soak

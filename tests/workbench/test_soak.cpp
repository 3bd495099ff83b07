// A seeded soak of the main window's whole lifecycle: long random sequences of what a user does
// (create each kind through its dialog, select, connect, disconnect, stop, start, send, switch hex,
// reset, close and minimise windows, delete, quit), with real peers on loopback that connect,
// send, stall, close and reset, and a check of the invariants after every step.
//
// Every step draws the same number of random values whatever it does, so a seed gives the same
// sequence of steps, and any subset of them can be run again on its own:
//   VELMORA_SOAK_SEED=<seed>         the sequence (printed at the start of every run)
//   VELMORA_SOAK_SECONDS=<s>         how long to run (default 40)
//   VELMORA_SOAK_ONLY=3,17,40        only these steps of the sequence
// scripts/soak.sh runs it longer under the sanitizers.
//
// The peers are sockets of this process, outside the program's event handling: thousands of
// steps need peers that answer in microseconds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <climits>
#include <deque>
#include <random>
#include <set>
#include <vector>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QMdiSubWindow>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>

#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "LogView.h"
#include "MessageSeam.h"
#include "PrivateNetwork.h"
#include "TMySocket.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

// ---- peers ------------------------------------------------------------------------------------

sockaddr_in Loopback(int port, const char *address = "127.0.0.1")
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = inet_addr(address);
    return a;
}

int PortOf(int fd, bool peer = false)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    (peer ? getpeername : getsockname)(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

int NewSocket(int type)
{
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// One TCP connection of a peer: to a server of the program, or accepted from a client of it.
struct TcpPeer {
    int fd = -1;
    int localPort = 0;
    int remotePort = 0;
    bool toServer = false;
    bool open = true; // false once either side ended it
    Clock::time_point stalledUntil{};
};

// The window that counts what a peer sent, and how much it must have counted.
struct Expectation {
    QPointer<TFrmData> window;
    int64_t received = 0;
    bool exact = true; // false once bytes may arrive from the program itself
};

QString KindOf(const TMySocket *i) { return i ? i->Kind : QStringLiteral("-"); }

// ---- the soak -----------------------------------------------------------------------------------

class Soak : public QObject {
public:
    Soak(uint64_t seed, bool groups) : FRandom(seed), FGroups(groups)
    {
        FPrevious = ui::SetMessageSink([this](ui::BoxKind, const QString &text) {
            FBoxes << text;
            // A modal box runs the event loop: some do here, for a moment.
            if (FPumpBoxes)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        });
        connect(&FDrainTimer, &QTimer::timeout, this, [this] { DrainPeers(); });
        FDrainTimer.start(2);
        FBaseSockets = OpenSockets();
        NewForm();
    }

    ~Soak() override
    {
        form.reset();
        ClosePeers();
        ui::SetMessageSink(std::move(FPrevious));
    }

    // Runs one step of the sequence; executes it only when asked. False with the reason when an
    // invariant broke.
    bool Step(int index, bool execute, QString *failure)
    {
        uint32_t d[8];
        for (uint32_t &v : d)
            v = uint32_t(FRandom());
        if (!execute)
            return true;
        if (FFormClosed)
            ReopenAfterClose();
        FStep = index;
        FPumpBoxes = d[7] & 1;
        const QString what = Do(d);
        std::printf("step %d: %s\n", index, qPrintable(what));
        std::fflush(stdout);
        if (FFormClosed)
            ReopenAfterClose();
        return Check(failure);
    }

    // The end of a sequence: everything deleted, nothing of the program left open, window closed.
    bool EndSequence(QString *failure)
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
            DrainEvents();
        }
        if (!Check(failure))
            return false;
        ClosePeers();
        DrainEvents();
        if (OpenSockets() != FBaseSockets) {
            *failure = QStringLiteral("%1 sockets of the program left open after deleting everything")
                           .arg(OpenSockets() - FBaseSockets);
            return false;
        }
        form->close();
        NewForm();
        return true;
    }

    std::unique_ptr<TForm1> form;

private:
    // ---- operations ----

    QString Do(const uint32_t *d)
    {
        // Weights of the operations, in the order of the switch below.
        static const int weights[] = {6, 5, 5, 4, 3, 6, 5, 3, 8, 10, 3, 3, 3, 12, 6, 3, 3, 4, 4, 1, 2};
        int total = 0;
        for (int w : weights)
            total += w;
        int pick = int(d[0] % uint32_t(total));
        int op = 0;
        while (pick >= weights[op])
            pick -= weights[op++];
        switch (op) {
        case 0: return CreateTcpServer();
        case 1: return CreateTcpClient(d[1], d[2]);
        case 2: return CreateUdpServer();
        case 3: return CreateUdpClient(d[1]);
        case 4: return CreateGroup(d[1]);
        case 5: return SelectNode(d[1]);
        case 6: return OnClient(d[1], true);
        case 7: return OnClient(d[1], false);
        case 8: return PeerConnect(d[1]);
        case 9: return PeerSend(d[1], d[2]);
        case 10: return PeerEnd(d[1], false);
        case 11: return PeerEnd(d[1], true);
        case 12: return StopOrStartServer(d[1]);
        case 13: return SendFromWindow(d);
        case 14: return UdpPeerSend(d[1], d[2]);
        case 15: return SwitchHex(d[1]);
        case 16: return ResetCounters(d[1]);
        case 17: return CloseOrMinimiseWindow(d[1], d[2]);
        case 18: return DeleteSome(d[1]);
        case 19: return CloseMainWindow();
        default: return StallPeer(d[1], d[2]);
        }
    }

    QList<TMySocket *> Instances(const QString &k = QString()) const
    {
        QList<TMySocket *> all;
        for (int i = 0; i < form->SocketList.Count(); ++i)
            if (k.isEmpty() || form->SocketList.Items(i)->Kind == k)
                all << form->SocketList.Items(i);
        return all;
    }

    template <class T>
    static T *Pick(const QList<T *> &list, uint32_t r)
    {
        return list.isEmpty() ? nullptr : list[int(r % uint32_t(list.size()))];
    }

    Expectation &Expect(TFrmData *window)
    {
        for (Expectation &e : FExpected)
            if (e.window == window)
                return e;
        FExpected.push_back({window, window ? window->RecvCount : 0, true});
        return FExpected.back();
    }

    QString Made(TMySocket *instance, const QString &what)
    {
        if (instance)
            Expect(instance->DataWindow);
        return what + (instance ? QString() : QStringLiteral(" (nothing made)"));
    }

    QString CreateTcpServer()
    {
        const int port = UnusedPort();
        return Made(CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QString::number(port)}}),
                    QStringLiteral("create TCP server on %1").arg(port));
    }

    QString CreateTcpClient(uint32_t r, uint32_t s)
    {
        int port = 0;
        QString to;
        const QList<TMySocket *> servers = Instances(kind::TcpServer);
        if (r % 3 == 0 && !servers.isEmpty()) {
            port = Pick(servers, s)->LocalPort;
            to = QStringLiteral("a server of the program");
        } else if (r % 3 == 1) {
            port = UnusedPort();
            to = QStringLiteral("a closed port");
        } else {
            port = Listener();
            to = QStringLiteral("a peer");
        }
        return Made(CreateThroughDialog(*form, kind::TcpClient,
                                        {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                         {QStringLiteral("Edit2"), QString::number(port)}}),
                    QStringLiteral("create TCP client to %1 (%2)").arg(to).arg(port));
    }

    QString CreateUdpServer()
    {
        const int port = UnusedPort(true);
        return Made(CreateThroughDialog(*form, kind::UdpServer, {{QStringLiteral("Edit3"), QString::number(port)}}),
                    QStringLiteral("create UDP server on %1").arg(port));
    }

    QString CreateUdpClient(uint32_t r)
    {
        const int remote = UdpPeerPort(r);
        const int local = UnusedPort(true);
        return Made(CreateThroughDialog(*form, kind::UdpClient,
                                        {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                         {QStringLiteral("Edit2"), QString::number(remote)},
                                         {QStringLiteral("Edit3"), QString::number(local)}}),
                    QStringLiteral("create UDP client %1 -> %2").arg(local).arg(remote));
    }

    QString CreateGroup(uint32_t r)
    {
        if (!FGroups)
            return QStringLiteral("create group member (no multicast here: skipped)");
        const QString group = QStringLiteral("239.7.7.%1").arg(r % 4 + 1);
        // A port of its own: a second member on a port fails its bind, as it should, and the
        // soak counts bytes per member.
        const int port = UnusedPort(true);
        return Made(CreateThroughDialog(*form, kind::UdpGroup,
                                        {{QStringLiteral("Edit1"), group}, {QStringLiteral("Edit2"), QString::number(port)}}),
                    QStringLiteral("create group member %1:%2").arg(group).arg(port));
    }

    QString SelectNode(uint32_t r)
    {
        QList<QTreeWidgetItem *> nodes;
        std::function<void(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *n) {
            nodes << n;
            for (int i = 0; i < n->childCount(); ++i)
                walk(n->child(i));
        };
        for (int i = 0; i < form->TreeView1->topLevelItemCount(); ++i)
            walk(form->TreeView1->topLevelItem(i));
        QTreeWidgetItem *node = Pick(nodes, r);
        form->TreeView1->setCurrentItem(node);
        return QStringLiteral("select %1").arg(node->text(0));
    }

    QString OnClient(uint32_t r, bool connect)
    {
        TMySocket *client = Pick(Instances(kind::TcpClient), r);
        if (!client)
            return CreateTcpClient(r, r >> 8);
        TFrmData *w = Shown(client);
        if (!w)
            return QStringLiteral("connect/disconnect: the client went");
        ui::RunGuarded([&] {
            if (connect)
                w->Button5Click();
            else
                w->Button6MouseUp();
        });
        return QStringLiteral("%1 client to %2").arg(connect ? "connect" : "disconnect").arg(client->RemotePort);
    }

    QString PeerConnect(uint32_t r)
    {
        TMySocket *server = Pick(Instances(kind::TcpServer), r);
        if (!server)
            return CreateTcpServer();
        TcpPeer p;
        p.fd = NewSocket(SOCK_STREAM);
        p.toServer = true;
        p.remotePort = server->LocalPort;
        const sockaddr_in to = Loopback(server->LocalPort);
        if (::connect(p.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
            ::close(p.fd);
            return QStringLiteral("peer connect to %1: refused at once").arg(server->LocalPort);
        }
        p.localPort = PortOf(p.fd);
        FPeers.push_back(p);
        const TcpPeer &made = FPeers.back();
        const bool listening = server->LinkState == 1;
        if (listening)
            WaitUntil([&] { return WindowOf(made) != nullptr || !made.open; }, 5000);
        return QStringLiteral("peer %1 connects to server %2%3")
            .arg(p.localPort)
            .arg(server->LocalPort)
            .arg(listening ? "" : " (stopped)");
    }

    // The window of the program's end of a peer's connection.
    TFrmData *WindowOf(const TcpPeer &p) const
    {
        if (!p.open)
            return nullptr;
        for (TMySocket *i : Instances()) {
            if (p.toServer && i->Kind == kind::TcpServerClient && i->RemotePort == p.localPort && i->LinkState == 1)
                return i->DataWindow;
            if (!p.toServer && i->Kind == kind::TcpClient && i->LocalPort == p.remotePort && i->LinkState == 1)
                return i->DataWindow;
        }
        return nullptr;
    }

    TcpPeer *PickPeer(uint32_t r)
    {
        std::vector<TcpPeer *> open;
        for (TcpPeer &p : FPeers)
            if (p.open)
                open.push_back(&p);
        return open.empty() ? nullptr : open[r % open.size()];
    }

    QString PeerSend(uint32_t r, uint32_t size)
    {
        TcpPeer *p = PickPeer(r);
        TFrmData *window = p ? WindowOf(*p) : nullptr;
        if (!window)
            return PeerConnect(r);
        QByteArray bytes(int(size % 65536) + 1, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(FRandom());
        const ssize_t n = ::send(p->fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (n > 0)
            Expect(window).received += n;
        return QStringLiteral("peer %1 sends %2 bytes (%3 taken)").arg(p->localPort).arg(bytes.size()).arg(n);
    }

    QString PeerEnd(uint32_t r, bool reset)
    {
        TcpPeer *p = PickPeer(r);
        if (!p)
            return PeerConnect(r);
        EndPeer(*p, reset);
        return QStringLiteral("peer %1 %2").arg(p->localPort).arg(reset ? "resets" : "closes");
    }

    static void EndPeer(TcpPeer &p, bool reset)
    {
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(p.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(p.fd);
        p.fd = -1;
        p.open = false;
    }

    QString StallPeer(uint32_t r, uint32_t ms)
    {
        TcpPeer *p = PickPeer(r);
        if (!p)
            return PeerConnect(r);
        p->stalledUntil = Clock::now() + std::chrono::milliseconds(ms % 400);
        return QStringLiteral("peer %1 stops reading for %2 ms").arg(p->localPort).arg(ms % 400);
    }

    QString StopOrStartServer(uint32_t r)
    {
        TMySocket *server = Pick(Instances(kind::TcpServer), r);
        if (!server)
            return CreateTcpServer();
        const bool stop = server->LinkState == 1;
        TFrmData *w = Shown(server);
        if (!w)
            return QStringLiteral("stop/start: the server went");
        ui::RunGuarded([&] {
            if (stop)
                w->Button6MouseUp();
            else
                w->Button5Click();
        });
        return QStringLiteral("%1 server %2").arg(stop ? "stop" : "start").arg(server->LocalPort);
    }

    // The other end of a TCP link inside the program, if the link is between two of its windows.
    TFrmData *InnerPeer(TMySocket *i) const
    {
        for (TMySocket *o : Instances())
            if ((i->Kind == kind::TcpClient && o->Kind == kind::TcpServerClient && o->RemotePort == i->LocalPort)
                || (i->Kind == kind::TcpServerClient && o->Kind == kind::TcpClient && o->LocalPort == i->RemotePort))
                return o->DataWindow;
        return nullptr;
    }

    QString SendFromWindow(const uint32_t *d)
    {
        TMySocket *instance = Pick(Instances(), d[1]);
        if (!instance)
            return CreateUdpServer();
        const QPointer<TFrmData> w = Shown(instance);
        if (!w)
            return QStringLiteral("send: the window went");
        const bool hex = d[2] & 1;
        static const char *const repeats[] = {"1", "10", "100", "1000", "10000", "3", "0", "-5", "abc", "250"};
        const QString repeat = QString::fromLatin1(repeats[d[3] % 10]);
        const bool tcp = instance->Kind.startsWith(QLatin1String("TCP"));
        // Text of up to 2 KiB, less for many repetitions over TCP so that a send ends in time.
        int length = int(d[4] % 2048) + 1;
        if (tcp && repeat.toInt() >= 1000)
            length = std::min(length, 400);
        QString box;
        for (int i = 0; i < length; ++i)
            box += hex ? QLatin1Char("0123456789ABCDEF"[FRandom() % 16]) : QChar(u'!' + char16_t(FRandom() % 90));
        w->CheckBox2->setChecked(hex);
        w->Memo3->setPlainText(box);
        w->ComboBox2->setCurrentText(repeat);
        // What may happen while the send yields.
        static const char *const meanwhile[] = {"", "", "", "", "peer closes", "peer resets", "window deleted",
                                                "main window closed", "another deleted", "server stopped"};
        const int m = int(d[5] % 10);
        const int delay = int(d[6] % 40);
        if (m >= 4)
            QTimer::singleShot(delay, form.get(), [this, m, w, d5 = d[5]] { Meanwhile(m, w, d5); });
        // Bytes the program sends to itself, or a group to itself, are not counted exactly.
        if (instance->Kind == kind::UdpGroup)
            Expect(w).exact = false;
        if (TFrmData *inner = InnerPeer(instance))
            Expect(inner).exact = false;
        // Told before: the instance may be gone when the send returns.
        const QString what = QStringLiteral("send from %1 (%2) %3 chars%4 x%5%6")
                                 .arg(KindOf(instance))
                                 .arg(instance->RemotePort)
                                 .arg(length)
                                 .arg(hex ? " hex" : "")
                                 .arg(repeat)
                                 .arg(m >= 4 ? QStringLiteral(", meanwhile %1 after %2 ms")
                                                   .arg(QLatin1String(meanwhile[m]))
                                                   .arg(delay)
                                             : QString());
        FSending = true;
        ui::RunGuarded([&] { w->Button11Click(); });
        FSending = false;
        return what;
    }

    void Meanwhile(int m, const QPointer<TFrmData> &w, uint32_t r)
    {
        // Only while the send still yields, and not from inside a box or dialog (a modal one
        // keeps the user from the main window).
        if (!form || FFormClosed || !FSending || QApplication::activeModalWidget())
            return;
        TMySocket *instance = w ? w->MySocket : nullptr;
        switch (m) {
        case 4:
        case 5:
            for (TcpPeer &p : FPeers)
                if (instance && p.open && WindowOf(p) == w)
                    EndPeer(p, m == 5);
            break;
        case 6:
            if (instance)
                Delete(instance);
            break;
        case 7: CloseMainWindow(); break;
        case 8:
            if (TMySocket *other = Pick(Instances(), r))
                Delete(other);
            break;
        default:
            if (TMySocket *server = Pick(Instances(kind::TcpServer), r))
                ui::RunGuarded([&] { server->DataWindow->Button6MouseUp(); });
            break;
        }
    }

    QString UdpPeerSend(uint32_t r, uint32_t size)
    {
        QList<TMySocket *> targets = Instances(kind::UdpServer) + Instances(kind::UdpClient);
        if (FGroups)
            targets += Instances(kind::UdpGroup);
        TMySocket *target = Pick(targets, r);
        if (!target)
            return r & 1 ? CreateUdpServer() : CreateUdpClient(r);
        const int port = target->LocalPort;
        const QByteArray address = target->Kind == kind::UdpGroup ? target->GroupAddress.toLatin1() : "127.0.0.1";
        QByteArray bytes(int(size % 2049), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(FRandom());
        const int fd = UdpPeerSocket();
        const sockaddr_in to = Loopback(port, address.constData());
        const ssize_t n = ::sendto(fd, bytes.constData(), size_t(bytes.size()), 0,
                                   reinterpret_cast<const sockaddr *>(&to), sizeof to);
        if (n >= 0)
            Expect(target->DataWindow).received += n;
        return QStringLiteral("UDP peer sends %1 bytes to %2 %3:%4").arg(n).arg(KindOf(target)).arg(
            QString::fromLatin1(address)).arg(port);
    }

    QString SwitchHex(uint32_t r)
    {
        TMySocket *i = Pick(Instances(), r);
        if (!i)
            return CreateUdpClient(r);
        const QString what = KindOf(i);
        TFrmData *w = Shown(i);
        if (!w)
            return QStringLiteral("hex: the window went");
        w->CheckBox2->toggle();
        return QStringLiteral("hex display of %1 %2").arg(what).arg(w->HexMode() ? "on" : "off");
    }

    QString ResetCounters(uint32_t r)
    {
        TMySocket *i = Pick(Instances(), r);
        if (!i)
            return CreateTcpServer();
        const QString what = KindOf(i);
        TFrmData *w = Shown(i);
        if (!w)
            return QStringLiteral("reset: the window went");
        ui::RunGuarded([&] { w->Button2Click(); });
        Expect(w).received = 0;
        return QStringLiteral("reset counters of %1").arg(what);
    }

    QString CloseOrMinimiseWindow(uint32_t r, uint32_t how)
    {
        TMySocket *i = Pick(Instances(), r);
        if (!i)
            return CreateUdpServer();
        const QString what = KindOf(i);
        TFrmData *w = Shown(i);
        if (!w)
            return QStringLiteral("close window: it went");
        if (how & 1)
            w->Frame()->close();
        else
            w->Frame()->showMinimized();
        return QStringLiteral("%1 the window of %2").arg(how & 1 ? "close" : "minimise").arg(what);
    }

    // The user works in a window once it is in front: its node selected, or (a connection just
    // accepted, its node selected already) on its way there.
    TFrmData *Shown(TMySocket *instance)
    {
        return ShowWindow(*form, instance);
    }

    void Delete(TMySocket *instance)
    {
        form->TreeView1->setCurrentItem(instance->Node);
        ui::RunGuarded([&] { form->Button2Click(); });
    }

    QString DeleteSome(uint32_t r)
    {
        TMySocket *i = Pick(Instances(), r);
        if (!i)
            return CreateTcpClient(r, r >> 8);
        const QString what = KindOf(i);
        Delete(i);
        return QStringLiteral("delete %1").arg(what);
    }

    QString CloseMainWindow()
    {
        form->close();
        FFormClosed = true;
        return QStringLiteral("close the main window");
    }

    // ---- the world around the program ----

    int Listener()
    {
        if (FListener < 0) {
            FListener = NewSocket(SOCK_STREAM);
            const sockaddr_in a = Loopback(0);
            ::bind(FListener, reinterpret_cast<const sockaddr *>(&a), sizeof a);
            ::listen(FListener, 64);
        }
        return PortOf(FListener);
    }

    int UdpPeerSocket()
    {
        if (FUdpPeer < 0) {
            FUdpPeer = NewSocket(SOCK_DGRAM);
            const sockaddr_in a = Loopback(0);
            ::bind(FUdpPeer, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        }
        return FUdpPeer;
    }

    int UdpPeerPort(uint32_t) { return PortOf(UdpPeerSocket()); }

    // Peers read whatever the program sends them (unless stalled), accept its clients, and
    // notice when it ends a connection.
    void DrainPeers()
    {
        static char sink[65536];
        if (FListener >= 0)
            for (int fd; (fd = ::accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                TcpPeer p;
                p.fd = fd;
                p.localPort = PortOf(fd);
                p.remotePort = PortOf(fd, true);
                FPeers.push_back(p);
            }
        if (FUdpPeer >= 0)
            while (::recv(FUdpPeer, sink, sizeof sink, 0) >= 0) {
            }
        const auto now = Clock::now();
        for (TcpPeer &p : FPeers) {
            if (!p.open || now < p.stalledUntil)
                continue;
            for (;;) {
                const ssize_t n = ::recv(p.fd, sink, sizeof sink, 0);
                if (n > 0)
                    continue;
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    ::close(p.fd);
                    p.fd = -1;
                    p.open = false;
                }
                break;
            }
        }
    }

    void ClosePeers()
    {
        for (TcpPeer &p : FPeers)
            if (p.fd >= 0)
                ::close(p.fd);
        FPeers.clear();
        for (int *fd : {&FListener, &FUdpPeer})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        FExpected.clear();
    }

    void NewForm()
    {
        form = std::make_unique<TForm1>();
        form->show();
        FFormClosed = false;
    }

    void ReopenAfterClose()
    {
        // Closing ended every endpoint at once; the peers learn of it and go.
        DrainEvents();
        ClosePeers();
        DrainEvents();
        if (form->SocketList.Count() != 0)
            FLateFailure = QStringLiteral("instances left after the main window closed");
        else if (OpenSockets() != FBaseSockets)
            FLateFailure = QStringLiteral("%1 sockets of the program left open after the main window closed")
                               .arg(OpenSockets() - FBaseSockets);
        form.reset();
        DrainEvents();
        NewForm();
    }

    // Sockets of this process, the peers' included.
    static int OpenSockets()
    {
        int n = 0;
        for (const QFileInfo &fd :
             QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::NoDotAndDotDot | QDir::System))
            n += fd.symLinkTarget().contains(QLatin1String("socket:["));
        return n;
    }

    // ---- invariants ----

    bool Check(QString *failure)
    {
        if (!FLateFailure.isEmpty()) {
            *failure = FLateFailure;
            return false;
        }
        QString why;
        // Events in flight settle first: reads, deferred frees, windows coming forward.
        const bool settled = WaitUntil([&] { return Consistent(&why); }, 20000);
        if (!settled)
            *failure = why;
        return settled;
    }

    bool Consistent(QString *why)
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
        // Every instance node of the tree is listed.
        int nodes = 0;
        std::function<bool(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *n) {
            for (int c = 0; c < n->childCount(); ++c) {
                ++nodes;
                if (!listed.contains(NodeInstance(n->child(c))))
                    return false;
                if (!walk(n->child(c)))
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

    std::mt19937_64 FRandom;
    bool FGroups;
    ui::MessageSink FPrevious;
    QStringList FBoxes;
    bool FPumpBoxes = false;
    QTimer FDrainTimer;
    int FBaseSockets = 0;
    int FStep = 0;
    bool FFormClosed = false;
    bool FSending = false;
    QString FLateFailure;
    // A deque: peers accepted by the drain timer inside a wait keep the others where they are.
    std::deque<TcpPeer> FPeers;
    int FListener = -1;
    int FUdpPeer = -1;
    std::vector<Expectation> FExpected;
};

uint64_t SeedOfThisRun()
{
    bool ok = false;
    const uint64_t given = qEnvironmentVariable("VELMORA_SOAK_SEED").toULongLong(&ok);
    return ok ? given : std::random_device{}() * 0x100000001ull + uint64_t(QDateTime::currentMSecsSinceEpoch());
}

// Runs the sequence of a seed: for the given time, or only the listed steps.
void RunSoak(uint64_t seed, double seconds, const std::set<int> &only = {})
{
    const bool groups = InPrivateNetwork() && RouteMulticastToLoopback();
    std::printf("soak seed %llu%s; replay: VELMORA_SOAK_SEED=%llu\n", (unsigned long long)seed,
                groups ? ", group members on" : "", (unsigned long long)seed);
    std::fflush(stdout);
    Soak soak(seed, groups);
    std::mt19937_64 lengths(seed ^ 0x5eed);
    QElapsedTimer clock;
    clock.start();
    int step = 0, steps = 0;
    QString failure;
    const int last = only.empty() ? INT_MAX : *only.rbegin();
    while (step <= last && (only.empty() ? clock.elapsed() < seconds * 1000 : true)) {
        // A sequence of 20 to 120 steps, then the window goes.
        const int length = int(lengths() % 100) + 20;
        for (int i = 0; i < length && step <= last; ++i, ++step) {
            const bool run = only.empty() || only.count(step);
            steps += run;
            ASSERT_TRUE(soak.Step(step, run, &failure))
                << "step " << step << ": " << failure.toStdString() << "\nseed " << seed;
        }
        ASSERT_TRUE(soak.EndSequence(&failure)) << failure.toStdString() << "\nseed " << seed;
    }
    std::printf("soak seed %llu: %d steps ran clean in %.0f s\n", (unsigned long long)seed, steps,
                clock.elapsed() / 1000.0);
}

bool NamespacesHere()
{
    static const bool here = [] {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")});
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }();
    return here;
}

} // namespace

TEST(Soak, ASeededRandomLifecycleKeepsEveryInvariant)
{
    const double seconds = qEnvironmentVariableIsSet("VELMORA_SOAK_SECONDS")
                               ? qEnvironmentVariable("VELMORA_SOAK_SECONDS").toDouble()
                               : 40;
    std::set<int> only;
    for (const QString &s : qEnvironmentVariable("VELMORA_SOAK_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts))
        only.insert(s.toInt());
    // In a network of its own, where group members can join too.
    if (!InPrivateNetwork() && NamespacesHere()) {
        const PrivateNetworkRun run = RunCurrentTestInPrivateNetwork(int(seconds * 1000) + 120000);
        const QStringList lines = run.output.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            if (line.startsWith(QLatin1String("soak seed")))
                std::printf("%s\n", qPrintable(line));
        // The steps that led to a failure, and the failure.
        EXPECT_TRUE(run.passed) << lines.mid(std::max(0, int(lines.size()) - 80)).join(QLatin1Char('\n')).toStdString();
        return;
    }
    RunSoak(SeedOfThisRun(), seconds, only);
}

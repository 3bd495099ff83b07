// The soak's steps: what a user does in the main window and the data windows, and what peers do.

#include "Soak.h"

#include <algorithm>
#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "CodePages.h"
#include "CreateCommand.h"
#include "DataWindowStack.h"
#include "HexCodec.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "datapanel.h"

namespace soak {

using testing_support::CreateThroughDialog;

namespace {

QString KindOf(const TMySocket *i)
{
    return i ? i->Kind : QStringLiteral("-");
}

// A stand-in box or dialog stays open this long, running an event loop of its own, and does what
// the step asked of it meanwhile.
void StayOpen(int ms, std::function<void()> &whileOpen)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (whileOpen)
        QTimer::singleShot(0, &loop, std::exchange(whileOpen, nullptr));
    loop.exec();
}

} // namespace

Soak::Soak(uint64_t seed, bool groups) : FSeed(seed), FGroups(groups)
{
    FPrevious = ui::SetMessageSink([this](ui::BoxKind, const QString &text) {
        FBoxes << text;
        StayOpen(FOpenMs, FWhileOpen);
    });
    FPreviousChooser = ui::SetFileChooser([this](ui::FileChoice, const QString &) {
        StayOpen(FOpenMs, FWhileOpen);
        return FChosenFile;
    });
    FPreviousQuestioner = ui::SetQuestioner([this](const QString &, const QStringList &) {
        StayOpen(FOpenMs, FWhileOpen);
        return FAnswer;
    });
    connect(&FDrainTimer, &QTimer::timeout, this, [this] { DrainPeers(); });
    FDrainTimer.start(2);
    FBaseSockets = OpenSockets();
    NewForm();
}

Soak::~Soak()
{
    form.reset();
    ClosePeers();
    ui::SetMessageSink(std::move(FPrevious));
    ui::SetFileChooser(std::move(FPreviousChooser));
    ui::SetQuestioner(std::move(FPreviousQuestioner));
}

bool Soak::Step(int index, bool execute, QString *failure)
{
    if (!execute)
        return true;
    // The step's own generator: what it draws does not depend on what steps before it drew.
    std::seed_seq seeds{uint32_t(FSeed), uint32_t(FSeed >> 32), uint32_t(index)};
    FStepRandom.seed(seeds);
    if (FFormClosed)
        ReopenAfterClose();
    FStep = index;
    FOpenMs = 1 + int(Draw() % 8);
    FWhileOpen = nullptr;
    FAllowed.erase(std::remove_if(FAllowed.begin(), FAllowed.end(), [](const AllowedBox &a) { return !a.lasting; }),
                   FAllowed.end());
    const QString what = Do();
    std::printf("step %d: %s\n", index, qPrintable(what));
    std::fflush(stdout);
    FWhileOpen = nullptr;
    if (FFormClosed)
        ReopenAfterClose();
    return Check(failure);
}

QString Soak::Do()
{
    // Weights of the operations, in the order of the switch below.
    static const int weights[] = {6, 5, 5, 4, 3, 6, 5, 3, 8, 10, 3, 3, 3, 12, 6, 3, 3, 4, 4, 1, 2, 2, 3, 4, 3, 2, 4, 3, 2, 3, 2, 2, 3, 2};
    int total = 0;
    for (int w : weights)
        total += w;
    int pick = int(Draw() % uint32_t(total));
    int op = 0;
    while (pick >= weights[op])
        pick -= weights[op++];
    const uint32_t a = Draw(), b = Draw(), c = Draw();
    switch (op) {
    case 0: return CreateTcpServer();
    case 1: return CreateTcpClient(a, b);
    case 2: return CreateUdpServer();
    case 3: return CreateUdpClient();
    case 4: return CreateGroup(a);
    case 5: return SelectNode(a);
    case 6: return OnClient(a, true);
    case 7: return OnClient(a, false);
    case 8: return PeerConnect(a);
    case 9: return PeerSend(a, b, c);
    case 10: return PeerEnd(a, false);
    case 11: return PeerEnd(a, true);
    case 12: return StopOrStartServer(a);
    case 13: return SendFromWindow();
    case 14: return UdpPeerSend(a, b);
    case 15: return SwitchHex(a);
    case 16: return ResetCounters(a);
    case 17: return CloseOrMinimiseWindow(a, b);
    case 18: return DeleteSome(a);
    case 19: return CloseMainWindow();
    case 20: return StallPeer(a, b);
    case 21: return SaveLog(a, b);
    case 22: return Capture(a, b);
    case 23: return SendFile(a, b);
    case 24: return SwitchCodePage(a, b);
    case 25: return EditLogAndUndo(a, b);
    case 26: return SendFromWindow(true);
    case 27: return RecallSent(a, b);
    case 28: return ClearLog(a);
    case 29: return SwitchKeeping(a);
    case 30: return DeleteKept(a);
    case 31: return ConnectToClosedPort();
    case 33: return PeerBurst(a, b);
    default: return ArrangeWindows(a, b);
    }
}

QList<TMySocket *> Soak::Instances(const QString &k) const
{
    QList<TMySocket *> all;
    for (int i = 0; i < form->SocketList.Count(); ++i)
        if (k.isEmpty() || form->SocketList.Items(i)->Kind == k)
            all << form->SocketList.Items(i);
    return all;
}

Expectation &Soak::Expect(TFrmData *window)
{
    for (Expectation &e : FExpected)
        if (e.window == window)
            return e;
    FExpected.push_back({window, window ? window->RecvCount : 0, true});
    return FExpected.back();
}

QString Soak::Made(TMySocket *instance, const QString &what)
{
    if (instance)
        Expect(instance->DataWindow);
    return what + (instance ? QString() : QStringLiteral(" (nothing made)"));
}

// Ports are the soak's own: it runs in a network namespace of its own.
QString Soak::CreateTcpServer()
{
    const int port = testing_support::UnusedPort();
    return Made(CreateThroughDialog(*form, kind::TcpServer, {{QStringLiteral("Edit1"), QString::number(port)}}),
                QStringLiteral("create TCP server on %1").arg(port));
}

QString Soak::CreateTcpClient(uint32_t r, uint32_t s)
{
    int port = 0;
    QString to;
    const QList<TMySocket *> servers = Instances(kind::TcpServer);
    if (r % 3 == 0 && !servers.isEmpty()) {
        port = Pick(servers, s)->LocalPort;
        to = QStringLiteral("a server of the program");
    } else if (r % 3 == 1) {
        port = testing_support::UnusedPort();
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

QString Soak::CreateUdpServer()
{
    const int port = testing_support::UnusedPort(true);
    return Made(CreateThroughDialog(*form, kind::UdpServer, {{QStringLiteral("Edit3"), QString::number(port)}}),
                QStringLiteral("create UDP server on %1").arg(port));
}

QString Soak::CreateUdpClient()
{
    const int remote = [this] {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(UdpPeerSocket(), reinterpret_cast<sockaddr *>(&a), &len);
        return int(ntohs(a.sin_port));
    }();
    const int local = testing_support::UnusedPort(true);
    return Made(CreateThroughDialog(*form, kind::UdpClient,
                                    {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                     {QStringLiteral("Edit2"), QString::number(remote)},
                                     {QStringLiteral("Edit3"), QString::number(local)}}),
                QStringLiteral("create UDP client %1 -> %2").arg(local).arg(remote));
}

QString Soak::CreateGroup(uint32_t r)
{
    if (!FGroups)
        return QStringLiteral("create group member (no multicast here: skipped)");
    const QString group = QStringLiteral("239.7.7.%1").arg(r % 4 + 1);
    // A port of its own: a second member on a port fails its bind, as it should, and the soak
    // counts bytes per member.
    const int port = testing_support::UnusedPort(true);
    return Made(CreateThroughDialog(*form, kind::UdpGroup,
                                    {{QStringLiteral("Edit1"), group}, {QStringLiteral("Edit2"), QString::number(port)}}),
                QStringLiteral("create group member %1:%2").arg(group).arg(port));
}

QString Soak::SelectNode(uint32_t r)
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

QString Soak::OnClient(uint32_t r, bool connect)
{
    TMySocket *client = Pick(Instances(kind::TcpClient), r);
    if (!client)
        return CreateTcpClient(r, r >> 8);
    TFrmData *w = Shown(client);
    if (!w)
        return QStringLiteral("connect/disconnect: the client went");
    // Connecting a client already linked, or whose connect fails at once, is told.
    Allow(QStringLiteral("连接失败!"));
    ui::RunGuarded([&] {
        if (connect)
            w->Button5Click();
        else
            w->Button6MouseUp();
    });
    return QStringLiteral("%1 client to %2").arg(connect ? "connect" : "disconnect").arg(client->RemotePort);
}

QString Soak::PeerConnect(uint32_t r)
{
    TMySocket *server = Pick(Instances(kind::TcpServer), r);
    if (!server)
        return CreateTcpServer();
    TcpPeer p;
    p.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    p.toServer = true;
    p.remotePort = server->LocalPort;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(server->LocalPort));
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (::connect(p.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
        ::close(p.fd);
        return QStringLiteral("peer connect to %1: refused at once").arg(server->LocalPort);
    }
    sockaddr_in mine{};
    socklen_t len = sizeof mine;
    getsockname(p.fd, reinterpret_cast<sockaddr *>(&mine), &len);
    p.localPort = ntohs(mine.sin_port);
    FPeers.push_back(p);
    const TcpPeer &made = FPeers.back();
    const bool listening = server->LinkState == 1;
    if (listening)
        testing_support::WaitUntil([&] { return WindowOf(made) != nullptr || !made.open; }, 5000);
    return QStringLiteral("peer %1 connects to server %2%3")
        .arg(p.localPort)
        .arg(server->LocalPort)
        .arg(listening ? "" : " (stopped)");
}

QString Soak::PeerBurst(uint32_t r, uint32_t size)
{
    // Peers connecting all at once, as devices do when their server comes back; no box may come.
    TMySocket *server = Pick(Instances(kind::TcpServer), r);
    if (!server)
        return CreateTcpServer();
    const int count = 20 + int(size % 61);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(server->LocalPort));
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    const size_t first = FPeers.size();
    for (int i = 0; i < count; ++i) {
        TcpPeer p;
        p.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        p.toServer = true;
        p.remotePort = server->LocalPort;
        if (::connect(p.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
            ::close(p.fd);
            continue;
        }
        sockaddr_in mine{};
        socklen_t len = sizeof mine;
        getsockname(p.fd, reinterpret_cast<sockaddr *>(&mine), &len);
        p.localPort = ntohs(mine.sin_port);
        FPeers.push_back(p);
    }
    const bool listening = server->LinkState == 1;
    if (listening)
        testing_support::WaitUntil(
            [&] {
                for (size_t i = first; i < FPeers.size(); ++i)
                    if (FPeers[i].open && !WindowOf(FPeers[i]))
                        return false;
                return true;
            },
            10000);
    return QStringLiteral("burst of %1 peers connects to server %2%3")
        .arg(FPeers.size() - first)
        .arg(server->LocalPort)
        .arg(listening ? "" : " (stopped)");
}

QString Soak::PeerSend(uint32_t r, uint32_t size, uint32_t cut)
{
    TcpPeer *p = PickPeer(r);
    TFrmData *window = p ? WindowOf(*p) : nullptr;
    if (!window)
        return PeerConnect(r);
    QByteArray bytes;
    if (cut % 3 == 0) {
        // Text whose last character is cut in two: its rest may come in the next send, or never.
        QString text;
        for (uint32_t i = 0, n = size % 200 + 1; i < n; ++i)
            text += QChar(char16_t(0x4E00 + Draw() % 0x5000));
        bytes = text.toUtf8();
        bytes.chop(int(cut % 2) + 1);
    } else {
        bytes.resize(int(size % 65536) + 1);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(Draw());
    }
    const ssize_t n = ::send(p->fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    if (n > 0)
        Expect(window).received += n;
    return QStringLiteral("peer %1 sends %2 bytes%3 (%4 taken)")
        .arg(p->localPort)
        .arg(bytes.size())
        .arg(cut % 3 == 0 ? " of text, the last character cut" : "")
        .arg(n);
}

QString Soak::PeerEnd(uint32_t r, bool reset)
{
    TcpPeer *p = PickPeer(r);
    if (!p)
        return PeerConnect(r);
    EndPeer(*p, reset);
    return QStringLiteral("peer %1 %2").arg(p->localPort).arg(reset ? "resets" : "closes");
}

QString Soak::StallPeer(uint32_t r, uint32_t ms)
{
    TcpPeer *p = PickPeer(r);
    if (!p)
        return PeerConnect(r);
    p->stalledUntil = Clock::now() + std::chrono::milliseconds(ms % 400);
    return QStringLiteral("peer %1 stops reading for %2 ms").arg(p->localPort).arg(ms % 400);
}

QString Soak::StopOrStartServer(uint32_t r)
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

TMySocket *Soak::InnerPeer(TMySocket *i) const
{
    for (TMySocket *o : Instances())
        if ((i->Kind == kind::TcpClient && o->Kind == kind::TcpServerClient && o->RemotePort == i->LocalPort)
            || (i->Kind == kind::TcpServerClient && o->Kind == kind::TcpClient && o->LocalPort == i->RemotePort))
            return o;
    return nullptr;
}

QString Soak::SendFromWindow(bool blanks)
{
    TMySocket *instance = Pick(Instances(), Draw());
    if (!instance)
        return CreateUdpServer();
    const QPointer<TFrmData> w = Shown(instance);
    if (!w)
        return QStringLiteral("send: the window went");
    const bool hex = blanks || (Draw() & 1);
    static const char *const repeats[] = {"1", "10", "100", "1000", "10000", "3", "0", "-5", "abc", "250"};
    const QString repeat = QString::fromLatin1(repeats[Draw() % 10]);
    const bool tcp = instance->Kind.startsWith(QLatin1String("TCP"));
    // Text of up to 2 KiB, less for many repetitions over TCP so that a send ends in time.
    int length = int(Draw() % 2048) + 1;
    if (tcp && repeat.toInt() >= 1000)
        length = std::min(length, 400);
    QString box;
    for (int i = 0; i < length; ++i) {
        box += hex ? QLatin1Char("0123456789ABCDEF"[Draw() % 16]) : QChar(u'!' + char16_t(Draw() % 90));
        if (blanks && Draw() % 3 == 0)
            box += QStringView(u" \t\n\r\n  \u3000")[Draw() % 8];
    }
    // Now and then a character that refuses the whole text.
    if (blanks && Draw() % 8 == 0)
        box.insert(int(Draw() % uint32_t(box.size() + 1)), QStringView(u"G中x,")[Draw() % 4]);
    w->CheckBox2->setChecked(hex);
    w->Memo3->setPlainText(box);
    w->ComboBox2->setCurrentText(repeat);
    QByteArray bytes;
    if (!hex)
        bytes = ToCodePageNumber(box, w->CodePage());
    else if (!ReadHexText(box, &bytes, nullptr))
        Allow(QStringLiteral("十六进制数据中第"));
    // What may happen while the send yields.
    static const char *const meanwhile[] = {"", "", "", "", "peer closes", "peer resets", "window deleted",
                                            "main window closed", "another deleted", "server stopped"};
    const int m = int(Draw() % 10);
    const int delay = int(Draw() % 40);
    const uint32_t other = Draw();
    if (m >= 4)
        QTimer::singleShot(delay, form.get(), [this, m, w, other] { Meanwhile(m, w, other); });
    // Bytes the program sends to itself, or a group to itself, are not counted exactly.
    if (instance->Kind == kind::UdpGroup)
        Expect(w).exact = false;
    if (TMySocket *inner = InnerPeer(instance))
        Expect(inner->DataWindow).exact = false;
    // The boxes this send may show.
    if (repeat == QLatin1String("abc"))
        Allow(QStringLiteral("'abc' is not a valid integer value"));
    if (tcp)
        Allow(QStringLiteral("未连接,数据未发送!"));
    if (instance->Kind == kind::UdpServer && instance->RemoteHost.isEmpty())
        Allow(QStringLiteral("No remote host"));
    // Told before: the instance may be gone when the send returns.
    const QString what = QStringLiteral("send from %1 (%2) %3 chars%4 x%5%6")
                             .arg(KindOf(instance))
                             .arg(instance->RemotePort)
                             .arg(length)
                             .arg(blanks ? " hex with blanks" : hex ? " hex" : "")
                             .arg(repeat)
                             .arg(m >= 4 ? QStringLiteral(", meanwhile %1 after %2 ms")
                                               .arg(QLatin1String(meanwhile[m]))
                                               .arg(delay)
                                         : QString());
    const int64_t before = w->SendCount;
    TcpPeer *peer = tcp ? PeerOf(instance) : nullptr;
    ExpectDatagrams(instance, bytes, std::clamp(repeat.toLongLong(), 0LL, 10000LL));
    FSending = true;
    ui::RunGuarded([&] { w->Button11Click(); });
    FSending = false;
    // What the window counted as sent went on the wire, whole while its link stayed up.
    const bool stands = w && w->MySocket == instance && !bytes.isEmpty();
    const int64_t times = stands ? (w->SendCount - before) / bytes.size() : 0;
    if (stands && peer)
        Sent(instance, bytes, times, instance->LinkState == 1 && PeerOf(instance) == peer);
    else if (!tcp && FUdpAhead > 0)
        // A window gone meanwhile sent what its peer got before it went: no more can come.
        Sent(stands ? instance : nullptr, bytes, times, true);
    return what;
}

void Soak::Meanwhile(int m, const QPointer<TFrmData> &w, uint32_t r)
{
    // Only while the send still yields.
    if (!form || FFormClosed || !FSending)
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

QString Soak::UdpPeerSend(uint32_t r, uint32_t size)
{
    QList<TMySocket *> targets = Instances(kind::UdpServer) + Instances(kind::UdpClient);
    if (FGroups)
        targets += Instances(kind::UdpGroup);
    TMySocket *target = Pick(targets, r);
    if (!target)
        return r & 1 ? CreateUdpServer() : CreateUdpClient();
    const int port = target->LocalPort;
    const QByteArray address = target->Kind == kind::UdpGroup ? target->GroupAddress.toLatin1() : "127.0.0.1";
    QByteArray bytes(int(size % 2049), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(Draw());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = inet_addr(address.constData());
    const ssize_t n = ::sendto(UdpPeerSocket(), bytes.constData(), size_t(bytes.size()), 0,
                               reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (n >= 0)
        Expect(target->DataWindow).received += n;
    return QStringLiteral("UDP peer sends %1 bytes to %2 %3:%4")
        .arg(n)
        .arg(KindOf(target))
        .arg(QString::fromLatin1(address))
        .arg(port);
}

QString Soak::SwitchHex(uint32_t r)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpClient();
    const QString what = KindOf(i);
    TFrmData *w = Shown(i);
    if (!w)
        return QStringLiteral("hex: the window went");
    w->CheckBox2->toggle();
    return QStringLiteral("hex display of %1 %2").arg(what).arg(w->HexMode() ? "on" : "off");
}

QString Soak::ResetCounters(uint32_t r)
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

QString Soak::CloseOrMinimiseWindow(uint32_t r, uint32_t how)
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

// Windows side by side: the one in front restored (the most recent others join it, placed so that
// each shows whole), placed anew, one resized by its frame, the main window resized (they go anew
// inside the area), or one maximised again (the others wait).
QString Soak::ArrangeWindows(uint32_t r, uint32_t how)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpClient();
    TFrmData *w = Shown(i);
    if (!w || !w->IsBuilt())
        return QStringLiteral("arrange windows: it went");
    QMdiSubWindow *frame = w->Frame();
    const QString what = KindOf(i);
    switch (how % 5) {
    case 0:
        frame->showNormal();
        return QStringLiteral("restore the window of %1 (side by side)").arg(what);
    case 1:
        form->DataWindows->Arrange();
        return QStringLiteral("place the windows side by side anew");
    case 2: {
        // Anywhere from its least size to the area's whole.
        const QSize least = frame->minimumSizeHint();
        const QSize most = form->MdiArea->viewport()->size().expandedTo(least);
        const int width = least.width() + int((how >> 4) % uint32_t(most.width() - least.width() + 1));
        const int height = least.height() + int((how >> 14) % uint32_t(most.height() - least.height() + 1));
        if (!frame->isMaximized() && !frame->isMinimized())
            frame->setGeometry(QRect(QPoint(0, 0), QSize(width, height)));
        return QStringLiteral("resize the window of %1 to %2 x %3").arg(what).arg(width).arg(height);
    }
    case 3: {
        const QSize size(500 + int((how >> 4) % 600), 400 + int((how >> 14) % 400));
        form->resize(size);
        return QStringLiteral("resize the main window to %1 x %2").arg(size.width()).arg(size.height());
    }
    default:
        frame->showMaximized();
        return QStringLiteral("maximise the window of %1").arg(what);
    }
}

// The user works in a window once it is in front: its node selected, or (a connection just
// accepted, its node selected already) on its way there.
TFrmData *Soak::Shown(TMySocket *instance)
{
    return testing_support::ShowWindow(*form, instance);
}

void Soak::Delete(TMySocket *instance)
{
    form->TreeView1->setCurrentItem(instance->Node);
    ui::RunGuarded([&] { form->Button2Click(); });
}

QString Soak::DeleteSome(uint32_t r)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateTcpClient(r, r >> 8);
    const QString what = KindOf(i);
    Delete(i);
    return QStringLiteral("delete %1").arg(what);
}

bool Soak::IsKept(const TMySocket *instance)
{
    return instance->Kind == kind::TcpServerClient && !instance->Socket;
}

QString Soak::DeleteKept(uint32_t r)
{
    QList<TMySocket *> kept;
    for (TMySocket *i : Instances(kind::TcpServerClient))
        if (IsKept(i))
            kept << i;
    TMySocket *i = Pick(kept, r);
    if (!i)
        return PeerEnd(r, r & 1);
    const int from = i->RemotePort;
    Delete(i);
    return QStringLiteral("delete a kept connection from %1").arg(from);
}

QString Soak::ConnectToClosedPort()
{
    const int port = testing_support::UnusedPort();
    TMySocket *client = CreateThroughDialog(*form, kind::TcpClient,
                                            {{QStringLiteral("Edit1"), QStringLiteral("127.0.0.1")},
                                             {QStringLiteral("Edit2"), QString::number(port)}});
    Made(client, QString());
    const QPointer<TFrmData> w = client ? Shown(client) : nullptr;
    if (!w)
        return QStringLiteral("connect to closed port %1: nothing made").arg(port);
    Allow(QStringLiteral("连接失败!"));
    ui::RunGuarded([&] { w->Button5Click(); });
    // The refusal is logged, with why, and no port of -1 is shown.
    const QString line = QStringLiteral(" 连接失败：127.0.0.1[%1]，").arg(port);
    const bool logged = testing_support::WaitUntil([&] { return !w || w->LogText().contains(line); });
    if (w && !logged)
        FLateFailure = QStringLiteral("a refused connect to %1 was not logged").arg(port);
    else if (w && w->Label6->text() != QStringLiteral("本地端口:0"))
        FLateFailure = QStringLiteral("a refused client shows %1").arg(w->Label6->text());
    return QStringLiteral("connect a client to closed port %1").arg(port);
}

QString Soak::CloseMainWindow()
{
    form->close();
    FFormClosed = true;
    return QStringLiteral("close the main window");
}

} // namespace soak

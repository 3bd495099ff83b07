// The soak's steps through the data windows' context menus, chosen as a user chooses them (a real
// popup that closes and deletes itself): saving the log, receiving into files of every kind,
// sending files of every kind, code pages, the log edited and its edit undone, the log cleared, and
// sends recalled from the send box's history (by key, or from its menu). The dialogs and
// questions they bring run an event loop of their own while peers close and reset, windows go and
// the main window closes.

#include "Soak.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Qt
#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

#include "CodePages.h"
#include "FileIo.h"
#include "LogView.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestSupport.h"
#include "datapanel.h"

namespace soak {

namespace {

// A FIFO whose reader opened it and never reads, for the whole run.
struct StoppedFifo {
    QString path;
    int reader = -1;
    explicit StoppedFifo(const QString &dir) : path(dir + QStringLiteral("/stopped-fifo"))
    {
        ::mkfifo(path.toLocal8Bit().constData(), 0600);
        reader = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~StoppedFifo() { ::close(reader); }
};

QByteArray Content(std::mt19937_64 &random, qsizetype n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = char(random());
    return bytes;
}

} // namespace

void Soak::WhileOpen(uint32_t r, const QPointer<TFrmData> &w)
{
    const uint32_t other = r >> 8;
    switch (r % 10) {
    case 4:
    case 5:
        FWhileOpen = [this, w, reset = r % 10 == 5] {
            if (!w)
                return;
            for (TcpPeer &p : FPeers)
                if (p.open && WindowOf(p) == w)
                    EndPeer(p, reset);
        };
        break;
    case 6:
        FWhileOpen = [this, w] {
            if (w && w->MySocket && !FFormClosed)
                Delete(w->MySocket);
        };
        break;
    case 7:
        FWhileOpen = [this, other] {
            if (TMySocket *some = FFormClosed ? nullptr : Pick(Instances(), other))
                Delete(some);
        };
        break;
    case 8:
        FWhileOpen = [this] {
            if (!FFormClosed)
                CloseMainWindow();
        };
        break;
    default:
        break;
    }
}

QString Soak::FileOfKind(uint32_t f, bool forWriting, QString *kindName)
{
    static const char *const writing[] = {"a new file", "a file that exists", "a FIFO nobody reads",
                                          "a FIFO whose reader stopped", "/dev/full", "/dev/null",
                                          "a folder", "a name in a missing folder"};
    static const char *const reading[] = {"a small file", "a file of megabytes", "an empty file",
                                          "a FIFO", "/dev/urandom", "a /sys file that says 4096 bytes",
                                          "a missing file", "a folder"};
    static StoppedFifo *stopped = nullptr;
    const int n = int(f % 8);
    *kindName = QString::fromLatin1(forWriting ? writing[n] : reading[n]);
    const QString dir = FFiles.path();
    const QString fresh = dir + QStringLiteral("/file-%1-%2").arg(FStep).arg(f);
    switch (forWriting ? n : n + 8) {
    case 0: return fresh;
    case 1: {
        QFile existing(fresh);
        existing.open(QIODevice::WriteOnly);
        existing.write("what was there before\n");
        return fresh;
    }
    case 2:
        ::mkfifo(fresh.toLocal8Bit().constData(), 0600);
        return fresh;
    case 3:
        if (!stopped)
            stopped = new StoppedFifo(dir); // for the whole run: captures keep writing into it
        return stopped->path;
    case 4: return QStringLiteral("/dev/full");
    case 5: return QStringLiteral("/dev/null");
    case 6: return dir;
    case 7: return dir + QStringLiteral("/missing/file");
    case 8:
    case 9: {
        QFile file(fresh);
        file.open(QIODevice::WriteOnly);
        file.write(Content(FStepRandom, n == 0 ? qsizetype(f >> 8) % 2000 + 1 : qsizetype(f >> 8) % (3 << 20) + 70000));
        return fresh;
    }
    case 10: {
        QFile empty(fresh);
        empty.open(QIODevice::WriteOnly);
        return fresh;
    }
    case 11:
        ::mkfifo(fresh.toLocal8Bit().constData(), 0600);
        return fresh;
    case 12: return QStringLiteral("/dev/urandom");
    case 13: return QStringLiteral("/sys/class/net/lo/address");
    case 14: return dir + QStringLiteral("/missing");
    default: return dir;
    }
}

QString Soak::SaveLog(uint32_t r, uint32_t f)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpServer();
    const QString what = i->Kind;
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("save the log: the window went");
    QString kindName;
    // FIFOs and devices are written as they are; a folder or a missing folder fails, told later.
    FChosenFile = FileOfKind(f % 8 == 3 ? 5 : f, true, &kindName);
    Allow(QStringLiteral("保存接收区失败："), true);
    WhileOpen(Draw(), w);
    testing_support::ChooseContextMenuEntry(w->Memo2, {QStringLiteral("保存接收区")});
    testing_support::DrainEvents();
    return QStringLiteral("save the log of %1 to %2").arg(what, kindName);
}

QString Soak::Capture(uint32_t r, uint32_t f)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateTcpServer();
    const QString what = i->Kind;
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("capture: the window went");
    if (!w->CapturePath().isEmpty()) {
        testing_support::ChooseContextMenuEntry(w->Memo2, {QStringLiteral("接收到文件：")});
        testing_support::DrainEvents();
        return QStringLiteral("capture of %1 off").arg(what);
    }
    QString kindName;
    FChosenFile = FileOfKind(f, true, &kindName);
    FAnswer = int(Draw() % 3);
    Allow(QStringLiteral("无法接收到文件："));
    // A write that fails, a FIFO's reader that goes: told when it happens.
    Allow(QStringLiteral("接收到文件已停止："), true);
    WhileOpen(Draw(), w);
    testing_support::ChooseContextMenuEntry(w->Memo2, {QStringLiteral("接收到文件")});
    testing_support::DrainEvents();
    return QStringLiteral("capture of %1 into %2%3")
        .arg(what, kindName)
        .arg(f % 8 == 1 ? QStringLiteral(", answered %1").arg(FAnswer) : QString());
}

QString Soak::SendFile(uint32_t r, uint32_t f)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpClient();
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("send a file: the window went");
    const QString what = i->Kind;
    QString kindName;
    FChosenFile = FileOfKind(f, false, &kindName);
    QFile file(FChosenFile);
    const QByteArray content = f % 8 < 2 || f % 8 == 5 ? (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray())
                                                       : QByteArray();
    for (const char *told : {"文件为空，未发送", "只能发送普通文件，", "无法读取文件：", "文件大小", "未连接,数据未发送!",
                             "No remote host"})
        Allow(QString::fromUtf8(told));
    if (i->Kind == kind::UdpGroup)
        Expect(w).exact = false;
    if (TMySocket *inner = InnerPeer(i))
        Expect(inner->DataWindow).exact = false;
    const bool tcp = i->Kind.startsWith(QLatin1String("TCP"));
    TcpPeer *peer = tcp ? PeerOf(i) : nullptr;
    const int64_t before = w->SendCount;
    if (!tcp && content.size() <= TNMUDP::MaxDatagram)
        ExpectDatagrams(i, content, 1);
    WhileOpen(Draw(), w);
    FSending = true;
    testing_support::ChooseContextMenuEntry(w->Memo3, {QStringLiteral("发送文件")});
    testing_support::DrainEvents();
    FSending = false;
    const bool stands = w && w->MySocket == i && !content.isEmpty();
    const int64_t sent = stands ? w->SendCount - before : 0;
    // A client whose connect completed while the dialog was open sends to the peer it has now.
    TcpPeer *now = stands && tcp ? PeerOf(i) : nullptr;
    if (now)
        Sent(i, content.left(sent), 1, sent == content.size() && i->LinkState == 1 && (!peer || now == peer));
    else if (!tcp)
        Sent(stands ? i : nullptr, content, sent > 0 ? 1 : 0, true);
    return QStringLiteral("send %1 from %2").arg(kindName, what);
}

QString Soak::SwitchCodePage(uint32_t r, uint32_t page)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpServer();
    const QString what = i->Kind;
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("code page: the window went");
    const int n = int(page % uint32_t(CodePageCount()));
    const QString title = CodePageTitle(n);
    QWidget *box = page & 8 ? static_cast<QWidget *>(w->Memo3) : w->Memo2;
    testing_support::ChooseContextMenuEntry(box, {QStringLiteral("文字编码"), title.left(5)});
    testing_support::DrainEvents();
    return QStringLiteral("code page of %1 to %2 (%3 held)").arg(what, title).arg(w && w->HoldsBytes() ? "bytes" : "nothing");
}

QString Soak::SwitchKeeping(uint32_t r)
{
    TMySocket *server = Pick(Instances(kind::TcpServer), r);
    if (!server)
        return CreateTcpServer();
    const QPointer<TFrmData> w = Shown(server);
    if (!w)
        return QStringLiteral("keep closed connections: the window went");
    const bool was = server->KeepClosedConnections;
    testing_support::ChooseContextMenuEntry(w->Memo2, {QStringLiteral("保留已断开的连接")});
    testing_support::DrainEvents();
    if (w && w->MySocket == server && server->KeepClosedConnections == was)
        FLateFailure = QStringLiteral("\"保留已断开的连接\" did not switch");
    return QStringLiteral("keep closed connections of server %1 %2").arg(server->LocalPort).arg(was ? "off" : "on");
}

QString Soak::EditLogAndUndo(uint32_t r, uint32_t how)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpClient();
    TFrmData *w = Shown(i);
    if (!w)
        return QStringLiteral("edit: the window went");
    w->FlushLog();
    const QString before = w->LogText();
    w->Memo2->setFocus();
    w->Memo2->setCaret(w->Memo2->Lines().End());
    // Typed and undone with nothing between: the log is as it was.
    QTest::keyClicks(w->Memo2, QStringLiteral("typed %1").arg(how % 1000));
    for (int undo = 0; undo < 20 && w->LogText() != before; ++undo) {
        if (how & 1)
            QTest::keyClick(w->Memo2, Qt::Key_Z, Qt::ControlModifier);
        else
            w->Memo2->undo();
    }
    if (w->LogText() != before)
        FLateFailure = QStringLiteral("typing into the log of %1 and undoing it left it changed").arg(i->Kind);
    return QStringLiteral("type into the log of %1 and undo").arg(i->Kind);
}

QString Soak::ClearLog(uint32_t r)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateTcpServer();
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("clear the log: the window went");
    const int64_t received = w->RecvCount, sent = w->SendCount;
    const bool held = w->HoldsBytes();
    testing_support::ChooseContextMenuEntry(w->Memo2, {QStringLiteral("清空接收区")});
    if (!w)
        return QStringLiteral("clear the log: the window went");
    // Nothing flows between steps but a datagram the system delivers late (a group's, under
    // load): its bytes and line are new, not left behind. Else what may show at once is only a
    // held character given up.
    w->FlushLog();
    const bool arrived = w->RecvCount > received;
    if ((!arrived && (w->LogLineCount() > (held ? 1 : 0) || (!held && w->HoldsBytes()))) || w->RecvCount < received
        || w->SendCount != sent)
        FLateFailure = QStringLiteral("clearing the log of %1 left %2 lines, counters %3/%4 (were %5/%6)")
                           .arg(i->Kind)
                           .arg(w->LogLineCount())
                           .arg(w->RecvCount)
                           .arg(w->SendCount)
                           .arg(received)
                           .arg(sent);
    return QStringLiteral("clear the log of %1 (%2 held)").arg(i->Kind, held ? "bytes" : "nothing");
}

QString Soak::RecallSent(uint32_t r, uint32_t how)
{
    TMySocket *i = Pick(Instances(), r);
    if (!i)
        return CreateUdpClient();
    const QPointer<TFrmData> w = Shown(i);
    if (!w)
        return QStringLiteral("recall: the window went");
    const auto &entries = w->SendHistory().Entries();
    if (entries.empty())
        return SendFromWindow();
    w->Memo3->setFocus();
    const int back = 1 + int(how % 4);
    QString expected;
    bool hex = false;
    if (how & 16) {
        // From the menu: the entry's caption starts with its first characters.
        const TSentText &sent = entries[entries.size() - 1 - std::min<size_t>(size_t(back - 1), entries.size() - 1)];
        const QString start = sent.text.left(8).replace(u'\n', u' ').replace(u'\r', u' ').replace(u'\t', u' ').remove(u'&');
        const QString caption = sent.hex ? QStringLiteral("[HEX] ") + start : start;
        testing_support::ChooseContextMenuEntry(w->Memo3, {QStringLiteral("发送历史"), caption});
        // Another entry may start alike: the box holds one of them, whole.
        if (w && std::find_if(entries.begin(), entries.end(), [&](const TSentText &e) {
                     return e.text == w->Memo3->toPlainText() && e.hex == w->HexMode();
                 }) == entries.end())
            FLateFailure = QStringLiteral("the history's menu of %1 put an entry in the box that it does not hold").arg(i->Kind);
        return QStringLiteral("recall a send of %1 from the menu").arg(i->Kind);
    }
    const QString draft = w->Memo3->toPlainText();
    const bool draftHex = w->HexMode();
    for (int k = 0; k < back; ++k)
        QTest::keyClick(w->Memo3, Qt::Key_Up, Qt::ControlModifier);
    const size_t shown = entries.size() - std::min<size_t>(size_t(back), entries.size());
    expected = entries[shown].text;
    hex = entries[shown].hex;
    if (w->Memo3->toPlainText() != expected || w->HexMode() != hex)
        FLateFailure = QStringLiteral("Ctrl+Up %1 times in %2 did not recall the send before").arg(back).arg(i->Kind);
    // Down past the newest: the box as it was.
    for (int k = 0; k < back && w; ++k)
        QTest::keyClick(w->Memo3, Qt::Key_Down, Qt::ControlModifier);
    if (w && (w->Memo3->toPlainText() != draft || w->HexMode() != draftHex))
        FLateFailure = QStringLiteral("Ctrl+Down in %1 did not come back to the box as it was").arg(i->Kind);
    return QStringLiteral("recall %1 sends back in %2 and return").arg(back).arg(i->Kind);
}

} // namespace soak

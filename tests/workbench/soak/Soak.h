#pragma once
// A seeded soak of the main window's whole lifecycle: long random sequences of what a user does
// (create each kind through its dialog, select, connect, a burst of peers connecting at once,
// disconnect, stop, start, send text and hex with blanks, recall what was sent, switch hex and code pages, reset, close and minimise windows,
// restore them side by side and resize them, maximise one again, save and clear the log, receive
// into files, send files, edit the log and undo, keep closed connections and delete them, connect
// to a closed port, delete, quit), through the real context menus and with boxes and dialogs
// that run an event loop while peers close and reset, and real peers on loopback that connect,
// send (characters cut in two among it), stall, close and reset. After every step: the invariants,
// every box shown was one the step could show, every byte a peer sent is counted in its window,
// and every byte a window counted as sent reached its peer, in order.
//
// Each step draws its random values from a generator of its own (the seed and the step's number),
// so a seed gives the same sequence of steps whatever earlier steps drew, and any subset of them
// can be run again on its own. The peers are sockets of this process, outside the program's event
// handling: thousands of steps need peers that answer in microseconds.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

// Qt
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include "MessageSeam.h"
#include "Unit1.h"

class TFrmData;
class TMySocket;

namespace soak {

using Clock = std::chrono::steady_clock;

// One TCP connection of a peer: to a server of the program, or accepted from a client of it.
struct TcpPeer {
    int fd = -1;
    int localPort = 0;
    int remotePort = 0;
    bool toServer = false;
    bool open = true; // false once either side ended it
    Clock::time_point stalledUntil{};
    // What the program's end sent it, and what its window counted as sent to it, in order.
    QByteArray received;
    QByteArray expected;
    // False once a send to it may have been cut short, so that the two need not agree.
    bool exact = true;
};

// The window that counts what peers sent, and how much it must have counted.
struct Expectation {
    QPointer<TFrmData> window;
    int64_t received = 0;
    bool exact = true; // false once bytes may arrive from the program itself
};

// A box the current step may show: its text begins so.
struct AllowedBox {
    QString start;
    bool lasting = false; // may come at any later step (a worker's answer, a capture's end)
};

class Soak : public QObject {
public:
    Soak(uint64_t seed, bool groups);
    ~Soak() override;

    // Runs step index of the sequence when asked to; false with the reason when it broke an
    // invariant or showed a box nobody expected.
    bool Step(int index, bool execute, QString *failure);
    // The end of a sequence: everything deleted, nothing of the program left open, window closed.
    bool EndSequence(QString *failure);
    // The longest a step waited for its invariants to settle, in ms.
    double LongestSettle() const { return FLongestSettle; }

    std::unique_ptr<TForm1> form;

private:
    // ---- the step's random values (SoakSteps.cpp) ----
    uint32_t Draw() { return uint32_t(FStepRandom()); }
    QString Do();

    // ---- operations (SoakSteps.cpp) ----
    QList<TMySocket *> Instances(const QString &kindText = QString()) const;
    template <class T>
    static T *Pick(const QList<T *> &list, uint32_t r)
    {
        return list.isEmpty() ? nullptr : list[int(r % uint32_t(list.size()))];
    }
    Expectation &Expect(TFrmData *window);
    QString Made(TMySocket *instance, const QString &what);
    QString CreateTcpServer();
    QString CreateTcpClient(uint32_t r, uint32_t s);
    QString CreateUdpServer();
    QString CreateUdpClient();
    QString CreateGroup(uint32_t r);
    QString SelectNode(uint32_t r);
    QString OnClient(uint32_t r, bool connect);
    QString PeerConnect(uint32_t r);
    // 20 to 80 peers connecting to one server all at once.
    QString PeerBurst(uint32_t r, uint32_t size);
    QString PeerSend(uint32_t r, uint32_t size, uint32_t cut);
    QString PeerEnd(uint32_t r, bool reset);
    QString StallPeer(uint32_t r, uint32_t ms);
    QString StopOrStartServer(uint32_t r);
    // With blanks: hex digits with blanks, tabs and line breaks between them, now and then a
    // character that is no digit.
    QString SendFromWindow(bool blanks = false);
    QString RecallSent(uint32_t r, uint32_t how);
    QString UdpPeerSend(uint32_t r, uint32_t size);
    QString SwitchHex(uint32_t r);
    QString ResetCounters(uint32_t r);
    QString CloseOrMinimiseWindow(uint32_t r, uint32_t how);
    QString ArrangeWindows(uint32_t r, uint32_t how);
    QString DeleteSome(uint32_t r);
    QString CloseMainWindow();
    // Connections a server kept after their close.
    static bool IsKept(const TMySocket *instance);
    QString DeleteKept(uint32_t r);
    // A client made and connected to a port nobody listens on: the refusal is logged.
    QString ConnectToClosedPort();
    TFrmData *Shown(TMySocket *instance);
    void Delete(TMySocket *instance);
    TMySocket *InnerPeer(TMySocket *i) const;
    // What may happen while a send, box or dialog waits.
    void Meanwhile(int what, const QPointer<TFrmData> &w, uint32_t r);

    // ---- the context menus (SoakMenus.cpp) ----
    QString SaveLog(uint32_t r, uint32_t f);
    QString Capture(uint32_t r, uint32_t f);
    QString SendFile(uint32_t r, uint32_t f);
    QString SwitchCodePage(uint32_t r, uint32_t page);
    QString EditLogAndUndo(uint32_t r, uint32_t how);
    QString ClearLog(uint32_t r);
    // "保留已断开的连接" of a server window's log menu, switched.
    QString SwitchKeeping(uint32_t r);
    // A file of the kind f names for a dialog to answer with, and the boxes it may bring.
    QString FileOfKind(uint32_t f, bool forWriting, QString *kindName);
    // Sets what the next box or dialog does while it is open.
    void WhileOpen(uint32_t r, const QPointer<TFrmData> &w);

    // ---- the world around the program (SoakWorld.cpp) ----
    int Listener();
    int UdpPeerSocket();
    void DrainPeers();
    void ClosePeers();
    static void EndPeer(TcpPeer &p, bool reset);
    TcpPeer *PickPeer(uint32_t r);
    // The window of the program's end of a peer's connection, matched by both ends.
    TFrmData *WindowOf(const TcpPeer &p) const;
    TcpPeer *PeerOf(const TMySocket *instance);
    // What a send counted by a window put on the wire for its peer: the bytes, so many times (a
    // datagram each over UDP); not whole when the send may have been cut short.
    void Sent(TMySocket *instance, const QByteArray &bytes, int64_t times, bool whole);
    // Datagrams a UDP window is about to send, expected before they go (the peers read while the
    // send yields); Sent then says how many went, and the rest are expected no more.
    void ExpectDatagrams(TMySocket *instance, const QByteArray &bytes, int64_t times);
    void NewForm();
    void ReopenAfterClose();
    static int OpenSockets();

    // ---- invariants (SoakChecks.cpp) ----
    bool Check(QString *failure);
    bool Consistent(QString *why);
    bool WindowsPlaced(QString *why);
    bool BoxesExpected(QString *why);
    bool PeersGotWhatWasSent(QString *why);
    void Allow(const QString &start, bool lasting = false);

    const uint64_t FSeed;
    std::mt19937_64 FStepRandom;
    bool FGroups;
    ui::MessageSink FPrevious;
    ui::FileChooser FPreviousChooser;
    ui::Questioner FPreviousQuestioner;
    // Every box in order, the boxes the step may show, and what a box does while open.
    QStringList FBoxes;
    int FBoxesChecked = 0;
    std::vector<AllowedBox> FAllowed;
    std::function<void()> FWhileOpen;
    int FOpenMs = 2;
    QString FChosenFile;
    int FAnswer = 0;
    QTimer FDrainTimer;
    int FBaseSockets = 0;
    int FStep = 0;
    bool FFormClosed = false;
    bool FSending = false;
    QString FLateFailure;
    double FLongestSettle = 0;
    // A deque: peers accepted by the drain timer inside a wait keep the others where they are.
    std::deque<TcpPeer> FPeers;
    int FListener = -1;
    int FUdpPeer = -1;
    // Datagrams the program sent the UDP peer, by source port, and those that came.
    std::map<int, std::deque<QByteArray>> FUdpExpected;
    // Of the datagrams expected before a send, how many and from which port.
    int64_t FUdpAhead = 0;
    int FUdpAheadPort = 0;
    int64_t FUdpSent = 0, FUdpReceived = 0;
    QString FUdpFailure;
    std::vector<Expectation> FExpected;
    QTemporaryDir FFiles;
};

} // namespace soak

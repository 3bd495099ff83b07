#pragma once
// The data window of one socket instance: status, receive log, send box, counters.
//
// A data window exists from its instance's start, but its frame and controls are made the first
// time it is shown (Build): a sub-window with its controls costs about 150 KiB and 2 ms, and most
// windows of a server with many connections are never looked at. Until then the window keeps
// what it shows (log lines, counters, status texts, the hex switch), and once built it shows
// exactly what it would have shown had its controls been there all along.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTime>

#include "CodePages.h"
#include "LogStore.h"
#include "SendHistory.h"

class QByteArray;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPlainTextEdit;
class QStatusBar;
class QWidget;
class TDataWindowFrame;
class TLogView;
class QMenu;
class TMySocket;
class TReceiveCapture;
class TsuiButton;
class TFileSource;
enum class TSendOutcome;
namespace ui {
class Operation;
}

// What the status area shows: RefreshStatus writes it, the window shows it once built.
struct TStatusTexts {
    QString Labels[6];
    QString OpenCaption, StopCaption;
    bool OpenShown = false, StopShown = false;
    bool OpenEnabled = true, StopEnabled = true;
};

class TFrmData : public QObject {
    Q_OBJECT
public:
    // A window of the document area; nothing of it is made on screen yet.
    explicit TFrmData(QMdiArea *area);
    ~TFrmData() override;

    // Bytes handed to the socket by send commands, and bytes received, since creation or reset.
    int64_t SendCount = 0;
    int64_t RecvCount = 0;
    // The instance that owns this window; not owned by the window.
    TMySocket *MySocket = nullptr;

    // Makes the frame and the controls if they are not made yet: the frame goes into the area's
    // list of sub-windows, not shown (whoever shows the window shows it maximised or not).
    QMdiSubWindow *Build();
    // The frame, once built.
    QMdiSubWindow *Frame() const;
    bool IsBuilt() const { return !FFrame.isNull(); }

    // Every line of the receive log goes in here, receive and send lines alike, so they keep
    // the order in which they happened. The line is in the log at once; the box shows new
    // lines a few times a second while they stream in.
    void AppendLogLine(const QString &line);
    // Shows every line appended so far now.
    void FlushLog();
    // The whole receive log.
    QString LogText() const;
    // Empties the log ("清空接收区"); the counters stay, and bytes held for the rest of a
    // character stay held for the next read.
    void ClearLog();
    qsizetype LogLineCount() const;
    // The log holds at most this many bytes of memory (TLogStore::MemoryBytes) and lines; past
    // either, the oldest lines go and the first line says how many have gone. A flood has no end,
    // while memory has one; the logs of all windows together also keep within one budget
    // (TLogBudget), which takes the oldest lines of the largest logs first.
    static constexpr qsizetype DefaultMaxLogBytes = qsizetype(128) * 1024 * 1024;
    static constexpr qsizetype DefaultMaxLogLines = 2000000;
    void SetLogBounds(qsizetype maxBytes, qsizetype maxLines);
    // Memory the log holds, in bytes.
    qsizetype LogBytes() const;
    // Drops the oldest lines until the log holds about bytes or less (the budget's call).
    void ShedLogTo(qsizetype bytes);
    // The one way received data enters the window: receive line, counter, counter line.
    void LogReceived(const QByteArray &block);
    // False while the window's capture has no room for more: a TCP read handler then leaves the
    // data unread, the connection's reads wait (the peer slows down, nothing is lost) and the
    // window lets them go on once there is room (or the capture stops, for taking nothing for
    // StuckCaptureMs).
    bool TakesReads();
    // Reads wait for the capture now: a close takes what waits first (the connection's handle is
    // still open in its disconnect event).
    bool ReadsHeld() const { return FStuckTimer != 0; }
    static constexpr int StuckCaptureMs = 3000;
    // The last bytes of a text-mode read that end inside a character wait for the read that
    // completes it; when none comes (the peer goes quiet, the link closes) or the hex switch or the
    // code page changes first, they show as they are in a receive line of their own.
    void ShowHeldBytes();
    bool HoldsBytes() const { return FSplit.Holds(); }
    // How long a held character waits for its rest.
    static constexpr int HeldBytesWaitMs = 300;
    // Writes the counter line into the counter panel. A send command or file send writes it when
    // it ends, and at most every CounterRefreshMs while it goes on.
    void ShowCounters();
    static constexpr int CounterRefreshMs = 100;
    // The counter line as the panel shows it (empty until first written).
    QString CounterText() const;
    // The hex display switch, read afresh by every line, key press and send.
    bool HexMode() const { return FHex; }
    // What the status area shows (RefreshStatus).
    void ShowStatus(const TStatusTexts &status);
    const TStatusTexts &Status() const { return FStatus; }

    // Event handlers, connected to their controls.
    void Button5Click();   // open: start listening, or connect
    void Button6MouseUp(); // stop: stop listening, or disconnect
    void Button2Click();   // counter reset
    void Button11Click();  // send (SendCommand.cpp)
    void CheckBox2Click(); // hex display switch
    // Key filter of the send box: a discarded character is set to the null character.
    void Memo3KeyPress(QChar &key);

    // Sends the bytes once through this window's instance, by kind. It may run the event loop;
    // when this window is destroyed in there, it returns without touching it again.
    TSendOutcome SendString(const QByteArray &bytes);

    // The log's text as shown, as UTF-8 with the system's line ends, into a file, written by a
    // worker (fileio::WaitForWorkers tells when it is done); a failure is told with the system's
    // reason and leaves no file half written under the name.
    void SaveLog(const QString &path);
    // Every received block's bytes into a file from now on (appended to it, or replacing what it
    // held), until stopped; a failure to open is told at once, one to write or to keep up when
    // it happens, and stops the capture.
    bool StartCapture(const QString &path, bool replace = false);
    void StopCapture();
    // The file received blocks go to; empty while there is none.
    QString CapturePath() const;
    // The code page of the text of lines logged from now on and of text-mode sends (CodePages.h).
    void SetCodePage(int number);
    int CodePage() const { return FCodePage; }
    // The bytes of a file, once, through this window's instance, as the send command sends
    // (FileSend.cpp): only a regular file, read to its end; a UDP kind refuses a file longer than
    // one datagram.
    void SendFile(const QString &path);
    // The entries of the log box's and the send box's context menus that go beyond a text box.
    void AddLogMenuEntries(QMenu *menu);
    void AddSendMenuEntries(QMenu *menu);
    // The sends of the send box that went out, newest last; recalled into the box with Ctrl+Up
    // and Ctrl+Down, or from the box's context menu ("发送历史").
    const TSendHistory &SendHistory() const { return FSendHistory; }
    // Puts a send of the history into the box, its hex switch as it was.
    void RecallSent(const TSentText &sent);

    // The main window's stop command for one instance. The stop button of a TCP client or an
    // accepted connection calls it with this window's own instance, whatever the tree selects.
    using StopInstanceHook = std::function<void(TMySocket *)>;
    // Returns the hook it replaces.
    static StopInstanceHook SetStopInstanceHook(StopInstanceHook hook);
    // The main window's entries of a log box's context menu, added after the window's own.
    using LogMenuHook = std::function<void(TFrmData *, QMenu *)>;
    static LogMenuHook SetLogMenuHook(LogMenuHook hook);

    // Controls, named as on the form; null until the window is built.
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    TsuiButton *Button5 = nullptr;
    TsuiButton *Button6 = nullptr;
    QWidget *Panel2 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    TLogView *Memo2 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QPlainTextEdit *Memo3 = nullptr;
    QWidget *Panel6 = nullptr;
    TsuiButton *Button11 = nullptr;
    QLabel *Label7 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QStatusBar *StatusBar2 = nullptr;
    QLabel *StatusBar2Panel0 = nullptr;
    QGroupBox *GroupBox8 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    TsuiButton *Button2 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    // The group socket message of a multicast member goes to its instance's GroupReceive.
    bool event(QEvent *event) override;

private:
    void BuildStatusBox(QWidget *parent);
    void BuildLogBox(QWidget *parent);
    void BuildSendBox(QWidget *parent);
    // The status box's labels and buttons at a width of the box (FormPlaces.h).
    void PlaceStatusBox(int width);
    void ApplyStatus();
    void ApplyCounters();

    // True when the key press carries a character the key filter discards.
    bool DiscardsKey(const QKeyEvent *event);

    // Open and stop rows that need the TCP components.
    void OpenTcpServer();
    void OpenTcpClient();
    void StopTcpServer();

    // An operation of the user's in this window that may wait (a box, a file dialog, a send): it
    // ends quietly when the window or its instance goes meanwhile (see ui::Operation).
    ui::Operation Working();
    // The send command's work once its bytes are taken from the send box (SendCommand.cpp).
    void RunSendCommand(const QByteArray &bytes, const TSentText &sent, const QString &repeatText, int32_t count,
                        int codePage);
    // One send of the send command or of a file send, and the event handling after it; false
    // when the command ends there (the link lost, a failure told). A send command gives its text:
    // the first send that goes out puts it into the history, and one refused before anything went
    // puts it back into the box.
    bool SendStep(const ui::Operation &op, const QByteArray &bytes, bool first, const TSentText *command = nullptr);
    // A TCP kind's connection is up (other kinds always have what they send through).
    bool HasLink() const;
    // A send command's text back into the send box, unless the user wrote there meanwhile.
    void KeepUnsent(const TSentText &sent);
    // Ctrl+Up and Ctrl+Down in the send box.
    bool RecallKey(const QKeyEvent *event);
    void AddHistoryMenu(QMenu *menu);
    // All of the bytes on the instance's TCP connection (SendCommand.cpp).
    TSendOutcome SendWithRetry(QObject *socket, const QByteArray &bytes);
    // The sends that waited for their turn while a unit went out, in order, each to its end.
    void RunWaitingSends();
    // A file send's work (FileSend.cpp).
    void SendFileIn(const ui::Operation &op, const QString &path);
    // The menus' entries that wait (FileMenus.cpp).
    void ChooseLogFile(const ui::Operation &op);
    void ChooseCaptureFile(const ui::Operation &op);
    void CaptureStopped(const QString &reason, int64_t written);
    // Lets the reads of the instance's TCP connection, held while the capture was full, go on.
    void ReleaseReads();
    void WatchStuckCapture();
    // Drops the oldest lines of a log grown past its bounds, leaving a note at the top.
    // The code pages to choose from, the window's own checked.
    void AddCodePageMenu(QMenu *menu);
    void TrimLog();
    void TrimLogTo(qsizetype maxBytes, qsizetype maxLines);
    // The log's lines: in the log box once built, kept here before.
    const TLogStore &Lines() const;
    TLogStore &KeptLog();

    QMdiArea *FArea;
    QPointer<TDataWindowFrame> FFrame;
    // The log's lines until the log box takes them over: made with the first line, as most
    // windows of a burst of connections are never shown and many never log a line.
    std::unique_ptr<TLogStore> FLog;
    bool FHex = false;
    int FCodePage = LocalCodePageNumber;
    // An unfinished character at the end of the last text-mode read, when it came, in which code
    // page, and the timer that shows it when its rest does not come.
    TSplitCharacters FSplit;
    QTime FHeldAt;
    int FHeldTimer = 0;
    TStatusTexts FStatus;
    bool FStatusWritten = false;
    // The counts the counter line shows, once first written.
    bool FCountersShown = false;
    int64_t FShownRecv = 0;
    int64_t FShownSend = 0;
    // Since the counter line was last written.
    QElapsedTimer FCountersAt;
    TSendHistory FSendHistory;
    // A recall puts text into the send box: that is no edit of the user's.
    bool FRecalling = false;
    std::unique_ptr<TReceiveCapture> FCapture;
    // While reads wait for the capture: a timer, and the bytes written when they began to wait
    // or it last moved.
    int FStuckTimer = 0;
    int64_t FStuckWritten = 0;
    int FStuckMs = 0;
    // Units of sending under way whose bytes must reach the peer together (a repetition that went
    // out in part, a file), and the sends that wait for them to end.
    int FOpenUnits = 0;
    std::vector<std::function<void()>> FWaitingSends;
    // Lines of the log box dropped by trims so far.
    int64_t FLogDropped = 0;
    qsizetype FMaxLogBytes = DefaultMaxLogBytes;
    qsizetype FMaxLogLines = DefaultMaxLogLines;
};

// Writes an instance's state, addresses and ports into its data window's status area.
void RefreshStatus(TMySocket *instance);

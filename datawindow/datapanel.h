#pragma once
// The data window of one socket instance: status, receive log, send box, counters.

#include <cstdint>

// Qt
#include <QMdiSubWindow>

class QByteArray;
class QMdiArea;
class QPlainTextEdit;
class TMySocket;

class TFrmData : public QMdiSubWindow {
    Q_OBJECT
public:
    // Made as a child of the document area, maximised and visible.
    explicit TFrmData(QMdiArea *area);
    ~TFrmData() override;

    int64_t SendCount = 0;
    int64_t RecvCount = 0;
    TMySocket *MySocket = nullptr;

    // The one way received data enters the window: receive line, counter, counter line.
    void LogReceived(const QByteArray &block);
    void ShowCounters();

    QPlainTextEdit *Memo2 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
};

// Writes an instance's state, addresses and ports into its data window's status area.
void RefreshStatus(TMySocket *instance);

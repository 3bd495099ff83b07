// The entries a data window adds to the context menus of its log box and send box: saving and
// clearing the log, receiving into a file, sending a file, the code page of its text, the sends
// to recall.
//
// An entry that waits (a file dialog, a question, a box, a send) runs once its menu has closed and
// its code has returned (ui::Later): a menu deleted on close goes in the first event loop that runs
// after, and the entry's own dialog runs one. Each such entry is an operation of the window
// (Working): whatever it waits for, it ends quietly when the window or its instance went meanwhile.

#include "datapanel.h"

#include <cerrno>

// Qt
#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

// platform
#include "FileIo.h"
#include "MessageSeam.h"
// transport
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TCustomWinSocket.h"
// instance
#include "TMySocket.h"

#include "LogView.h"
#include "ReceiveCapture.h"

// ---- saving the log ------------------------------------------------------------------------

namespace {

// How long a save waits for a FIFO or device that takes nothing before it gives up.
constexpr int SaveStallMs = 10000;

// The text into a file; the reason when it could not. A regular file (or a new one) is written
// beside its name and put in its place once all of it is there, so a failure leaves the old one;
// a FIFO or device is written as it is, never replaced by a file.
QString WriteWhole(const QString &path, const QByteArray &text)
{
    const QFileInfo existing(path);
    if (!existing.exists() || existing.isFile() || existing.isDir()) {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
            return QString();
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    const fileio::Opened file = fileio::OpenToWrite(path, true);
    if (file.fd < 0)
        return file.error == ENXIO ? QStringLiteral("没有程序在读取这个管道（FIFO）") : fileio::ErrorText(file.error);
    QString reason;
    if (file.kind == fileio::Kind::BlockDevice)
        reason = QStringLiteral("这是一个块设备，不往里写接收区");
    for (qsizetype done = 0; reason.isEmpty() && done < text.size();) {
        int error = 0;
        const long n = fileio::WriteSome(file.fd, text.constData() + done, size_t(text.size() - done), &error);
        if (n > 0)
            done += n;
        else if (n < 0 && error != EAGAIN)
            reason = fileio::ErrorText(error);
        else if (!fileio::WaitWritable(file.fd, SaveStallMs))
            reason = QStringLiteral("%1秒内没能写入").arg(SaveStallMs / 1000);
    }
    fileio::Close(file.fd);
    return reason;
}

} // namespace

void TFrmData::SaveLog(const QString &path)
{
    // The text as shown now, written by a worker.
    const QByteArray text = LogText().toUtf8();
    const QPointer<TFrmData> self(this);
    fileio::StartWorker([path, text, self] {
        const QString failure = WriteWhole(path, text);
        if (failure.isEmpty())
            return;
        fileio::PostToApplication([self, failure] {
            if (!self)
                return;
            const ui::Operation op = self->Working();
            op.Run([&] { op.Message(QStringLiteral("保存接收区失败：") + failure); });
        });
    });
}

void TFrmData::ChooseLogFile(const ui::Operation &op)
{
    const QString path = op.ChooseFile(ui::FileChoice::Save, QStringLiteral("保存接收区"));
    if (!path.isEmpty())
        SaveLog(path);
}

// ---- receiving into a file -----------------------------------------------------------------

bool TFrmData::StartCapture(const QString &path, bool replace)
{
    StopCapture();
    QString reason;
    FCapture = TReceiveCapture::Open(
        path, replace, [this](const QString &why, int64_t written) { CaptureStopped(why, written); },
        [this] { ReleaseReads(); }, &reason);
    if (FCapture)
        return true;
    const ui::Operation op = Working();
    op.Run([&] { op.Message(QStringLiteral("无法接收到文件：") + reason); });
    return false;
}

void TFrmData::StopCapture()
{
    if (!FCapture)
        return;
    FCapture.reset();
    ReleaseReads();
}

bool TFrmData::TakesReads()
{
    if (!FCapture || FCapture->HasStopped() || !FCapture->Full())
        return true;
    // Told when there is room again (ReleaseReads); watched meanwhile for a file that takes nothing.
    if (!FStuckTimer) {
        FStuckWritten = FCapture->Written();
        FStuckMs = 0;
        FStuckTimer = startTimer(StuckCaptureMs / 6);
    }
    return false;
}

void TFrmData::WatchStuckCapture()
{
    if (!FCapture || FCapture->HasStopped()) {
        ReleaseReads();
        return;
    }
    const int64_t written = FCapture->Written();
    FStuckMs = written == FStuckWritten ? FStuckMs + StuckCaptureMs / 6 : 0;
    FStuckWritten = written;
    if (FStuckMs < StuckCaptureMs)
        return;
    FCapture->FallBehind(QStringLiteral("写入跟不上接收（%1秒没能写入）").arg(StuckCaptureMs / 1000));
    ReleaseReads();
}

void TFrmData::ReleaseReads()
{
    if (FStuckTimer) {
        killTimer(FStuckTimer);
        FStuckTimer = 0;
    }
    if (!MySocket)
        return;
    // By kind: the connection whose reads waited.
    QObject *socket = MySocket->Socket;
    if (MySocket->Kind == kind::TcpClient) {
        if (auto *client = qobject_cast<TClientSocket *>(socket))
            if (TCustomWinSocket *connection = client->Socket())
                connection->ReleaseHeldReads();
    } else if (MySocket->Kind == kind::TcpServerClient) {
        if (auto *connection = qobject_cast<TCustomWinSocket *>(socket))
            connection->ReleaseHeldReads();
    }
}

QString TFrmData::CapturePath() const
{
    return FCapture && !FCapture->HasStopped() ? FCapture->Path() : QString();
}

void TFrmData::CaptureStopped(const QString &reason, int64_t written)
{
    FCapture.reset();
    ReleaseReads();
    const ui::Operation op = Working();
    op.Run([&] { op.Message(QStringLiteral("接收到文件已停止：%1，已写入%2字节").arg(reason).arg(written)); });
}

void TFrmData::ChooseCaptureFile(const ui::Operation &op)
{
    // The dialog does not ask about replacing a file: appending is the other answer, asked below.
    const QString path = op.ChooseFile(ui::FileChoice::SaveUnconfirmed, QStringLiteral("接收到文件"));
    if (path.isEmpty())
        return;
    bool replace = false;
    const QFileInfo existing(path);
    if (existing.isFile() && existing.size() > 0) {
        const int answer = op.Ask(QStringLiteral("文件“%1”已存在（%2字节）。接收到的数据是追加到它的末尾，还是替换它原有的内容？")
                                      .arg(existing.fileName())
                                      .arg(existing.size()),
                                  {QStringLiteral("追加"), QStringLiteral("替换"), QStringLiteral("取消")});
        if (answer != 0 && answer != 1)
            return;
        replace = answer == 1;
    }
    StartCapture(path, replace);
}

// ---- the menus -----------------------------------------------------------------------------

void TFrmData::AddLogMenuEntries(QMenu *menu)
{
    menu->addSeparator();
    menu->addAction(QStringLiteral("清空接收区"), this, [this] { ClearLog(); });
    menu->addAction(QStringLiteral("保存接收区…"), this, [this] {
        ui::Later(this, [this] {
            const ui::Operation op = Working();
            op.Run([&] { ChooseLogFile(op); });
        });
    });
    if (!CapturePath().isEmpty()) {
        // On: the entry shows the file, and turns it off.
        QAction *on = menu->addAction(QStringLiteral("接收到文件：") + CapturePath(), this, [this] { StopCapture(); });
        on->setCheckable(true);
        on->setChecked(true);
    } else {
        menu->addAction(QStringLiteral("接收到文件…"), this, [this] {
            ui::Later(this, [this] {
                const ui::Operation op = Working();
                op.Run([&] { ChooseCaptureFile(op); });
            });
        });
    }
    AddCodePageMenu(menu);
}

void TFrmData::SetCodePage(int number)
{
    if (number < 0 || number >= CodePageCount() || number == FCodePage)
        return;
    // What waited was bytes of the code page before: shown in it.
    ShowHeldBytes();
    FCodePage = number;
}

void TFrmData::AddCodePageMenu(QMenu *menu)
{
    QMenu *pages = menu->addMenu(QStringLiteral("文字编码"));
    auto *group = new QActionGroup(pages);
    for (int n = 0; n < CodePageCount(); ++n) {
        QAction *page = pages->addAction(CodePageTitle(n), this, [this, n] { SetCodePage(n); });
        page->setCheckable(true);
        page->setChecked(n == FCodePage);
        group->addAction(page);
    }
}

void TFrmData::AddSendMenuEntries(QMenu *menu)
{
    menu->addSeparator();
    AddHistoryMenu(menu);
    AddCodePageMenu(menu);
    menu->addAction(QStringLiteral("发送文件…"), this, [this] {
        ui::Later(this, [this] {
            const ui::Operation op = Working();
            op.Run([&] {
                const QString path = op.ChooseFile(ui::FileChoice::Open, QStringLiteral("发送文件"));
                if (!path.isEmpty())
                    SendFileIn(op, path);
            });
        });
    });
}

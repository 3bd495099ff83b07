#include "FileSource.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>

// Qt
#include <QByteArray>

// platform
#include "FileIo.h"

namespace {

// Pieces read ahead of the sender, at most.
constexpr int Ahead = 4;

QString kindText(fileio::Kind kind)
{
    switch (kind) {
    case fileio::Kind::Fifo: return QStringLiteral("管道（FIFO）");
    case fileio::Kind::CharDevice: return QStringLiteral("字符设备");
    case fileio::Kind::BlockDevice: return QStringLiteral("块设备");
    case fileio::Kind::Directory: return QStringLiteral("目录");
    case fileio::Kind::Socket: return QStringLiteral("套接字");
    default: return QStringLiteral("特殊文件");
    }
}

} // namespace

struct TFileSource::Shared {
    int fd = -1;
    qsizetype pieceSize = 0;
    std::mutex lock;
    std::condition_variable taken;
    std::deque<QByteArray> pieces;
    bool ended = false;
    QString failure;
    bool stop = false;

    static void Run(const std::shared_ptr<Shared> &self);
};

void TFileSource::Shared::Run(const std::shared_ptr<Shared> &self)
{
    for (bool more = true; more;) {
        {
            std::unique_lock<std::mutex> hold(self->lock);
            self->taken.wait(hold, [&] { return self->stop || self->pieces.size() < size_t(Ahead); });
            if (self->stop)
                break;
        }
        // A piece is filled to its size unless the file ends first.
        QByteArray piece(self->pieceSize, Qt::Uninitialized);
        qsizetype got = 0;
        QString failure;
        while (got < piece.size()) {
            int error = 0;
            const long n = fileio::ReadSome(self->fd, piece.data() + got, size_t(piece.size() - got), &error);
            if (n < 0) {
                failure = fileio::ErrorText(error);
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        piece.truncate(got);
        more = got == self->pieceSize && failure.isEmpty();
        {
            std::lock_guard<std::mutex> hold(self->lock);
            if (got > 0)
                self->pieces.push_back(std::move(piece));
            if (!failure.isEmpty())
                self->failure = failure;
            self->ended = !more;
        }
        // Wakes the sender's wait for events; the sender looks again.
        fileio::PostToApplication({});
    }
    fileio::Close(self->fd);
}

std::unique_ptr<TFileSource> TFileSource::Open(const QString &path, qsizetype pieceSize, QString *reason)
{
    const fileio::Opened file = fileio::OpenToRead(path);
    if (file.fd < 0) {
        *reason = QStringLiteral("无法读取文件：") + fileio::ErrorText(file.error);
        return nullptr;
    }
    if (file.kind != fileio::Kind::Regular) {
        fileio::Close(file.fd);
        *reason = QStringLiteral("只能发送普通文件，这是一个%1，未发送").arg(kindText(file.kind));
        return nullptr;
    }
    std::unique_ptr<TFileSource> source(new TFileSource);
    source->FClaimed = file.size;
    source->FShared = std::make_shared<Shared>();
    source->FShared->fd = file.fd;
    source->FShared->pieceSize = pieceSize;
    fileio::StartWorker([shared = source->FShared] { Shared::Run(shared); });
    return source;
}

TFileSource::~TFileSource()
{
    std::lock_guard<std::mutex> hold(FShared->lock);
    FShared->stop = true;
    FShared->taken.notify_one();
}

TFileSource::Result TFileSource::Next(QByteArray *piece, QString *reason)
{
    std::lock_guard<std::mutex> hold(FShared->lock);
    if (!FShared->pieces.empty()) {
        *piece = std::move(FShared->pieces.front());
        FShared->pieces.pop_front();
        FShared->taken.notify_one();
        return Result::Piece;
    }
    if (!FShared->ended)
        return Result::Waiting;
    if (!FShared->failure.isEmpty()) {
        *reason = FShared->failure;
        return Result::Failed;
    }
    return Result::End;
}

#pragma once
// The bytes of a file the user sends, read ahead by a worker of its own, piece by piece, to the end
// of the file: what the file holds, not what the system says its size is (a file under /sys says
// 4,096 bytes and holds 18). Only a regular file is sent: a FIFO or a device never ends (or waits
// for a writer), and the one who sends is told so instead. Nothing here ever waits for the file.

#include <cstdint>
#include <memory>

// Qt
#include <QString>

class QByteArray;

class TFileSource {
public:
    // Opens the file to be read in pieces of pieceSize bytes (a piece shorter than that is the
    // last); null with the reason to tell the user when it cannot or will not be sent.
    static std::unique_ptr<TFileSource> Open(const QString &path, qsizetype pieceSize, QString *reason);
    // Stops the reader; never waits for it.
    ~TFileSource();
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;

    enum class Result { Piece, Waiting, End, Failed };
    // The next piece if the reader has it (Waiting while it reads: an event is posted to the user
    // interface thread when there is more); End after the last; Failed with the system's reason.
    Result Next(QByteArray *piece, QString *reason);
    // What the system says the file holds.
    int64_t ClaimedSize() const { return FClaimed; }

    struct Shared;

private:
    TFileSource() = default;
    int64_t FClaimed = 0;
    std::shared_ptr<Shared> FShared;
};

#pragma once
// Every received block's bytes appended to a file, exactly as they arrived: binary, in order,
// nothing added. A data window keeps one while the user has "接收到文件" on.

#include <cstdint>

// Qt
#include <QFile>
#include <QString>

class QByteArray;

class TReceiveCapture {
public:
    // Opens (creating, or appending to) the file; false with the system's reason when it cannot.
    bool Open(const QString &path, QString *reason);
    // Appends the bytes; false with the system's reason when the write failed (the file is then
    // closed, with what was written before it kept).
    bool Write(const QByteArray &bytes, QString *reason);
    // Flushes and closes the file.
    void Close();

    const QString &Path() const { return FPath; }
    // Bytes written since the capture began.
    int64_t Written() const { return FWritten; }

private:
    QFile FFile;
    QString FPath;
    int64_t FWritten = 0;
};

#include "ReceiveCapture.h"

bool TReceiveCapture::Open(const QString &path, QString *reason)
{
    FPath = path;
    FWritten = 0;
    FFile.setFileName(path);
    // Unbuffered: a received block is one write, and a block is far larger than a buffer would be.
    if (FFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    *reason = FFile.errorString();
    return false;
}

bool TReceiveCapture::Write(const QByteArray &bytes, QString *reason)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = FFile.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *reason = FFile.errorString();
            FFile.close();
            return false;
        }
        done += n;
        FWritten += n;
    }
    return true;
}

void TReceiveCapture::Close()
{
    if (FFile.isOpen())
        FFile.close();
}

#include "TAbstractSocket.h"

#include "ESocketError.h"

TAbstractSocket::TAbstractSocket(QObject *parent) : QObject(parent) {}

TAbstractSocket::~TAbstractSocket() = default;

void TAbstractSocket::SetActive(bool value)
{
    if (value != FActive)
        DoActivate(value);
}

void TAbstractSocket::CheckInactive() const
{
    if (FActive)
        throw ESocketError(QStringLiteral("Can't change value while socket is active"));
}

void TAbstractSocket::SetHost(const QString &value)
{
    CheckInactive();
    FHost = value;
}

void TAbstractSocket::SetAddress(const QString &value)
{
    CheckInactive();
    FAddress = value;
}

void TAbstractSocket::SetPort(int32_t value)
{
    CheckInactive();
    FPort = value;
}

void TAbstractSocket::SetService(const QString &value)
{
    CheckInactive();
    FService = value;
}

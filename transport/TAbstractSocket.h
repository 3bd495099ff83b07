#pragma once
// Base of the TCP components: Active, and the endpoint properties that can change only while
// the component is not active.

#include <cstdint>

// Qt
#include <QObject>
#include <QString>

class TAbstractSocket : public QObject {
    Q_OBJECT
public:
    explicit TAbstractSocket(QObject *parent = nullptr);
    ~TAbstractSocket() override;

    bool Active() const { return FActive; }
    // Does nothing when the value is unchanged.
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    // Each setter fails with "Can't change value while socket is active" while Active.
    const QString &Host() const { return FHost; }
    void SetHost(const QString &value);
    const QString &Address() const { return FAddress; }
    void SetAddress(const QString &value);
    // Only the low 16 bits are used.
    int32_t Port() const { return FPort; }
    void SetPort(int32_t value);
    const QString &Service() const { return FService; }
    void SetService(const QString &value);

protected:
    virtual void DoActivate(bool value) = 0;
    void CheckInactive() const;

    bool FActive = false;

private:
    QString FHost;
    QString FAddress;
    int32_t FPort = 0;
    QString FService;
};

#pragma once
// The UDP client creation dialog: remote host and port, and a free local port.

#include <cstdint>

// Qt
#include <QString>

#include "TCreateDialog.h"

class TfrmNewUdpSock : public TCreateDialog {
    Q_OBJECT
public:
    explicit TfrmNewUdpSock(QWidget *parent = nullptr);
    ~TfrmNewUdpSock() override;

    void Button1Click(); // OK
    void Button2Click(); // Cancel, the click handler of suiButton1
    void Button3Click(); // the broadcast address as the host
    // Offers the local adapter address as the host each time the dialog comes up.
    void FormActivate();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *suiButton1 = nullptr;
    TsuiButton *Button3 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

extern TfrmNewUdpSock *frmNewUdpSock;

// Left by an accepted dialog for the create command.
extern QString NewUdpHost;
extern int32_t NewUdpRemotePort;
extern int32_t NewUdpLocalPort;

#pragma once
// The TCP client creation dialog: the host and port to connect to.

#include <cstdint>

// Qt
#include <QString>

#include "TCreateDialog.h"

class TfrmNewClientSock : public TCreateDialog {
    Q_OBJECT
public:
    explicit TfrmNewClientSock(QWidget *parent = nullptr);
    ~TfrmNewClientSock() override;

    void Button1Click(); // OK
    void Button2Click(); // Cancel
    // Offers the local adapter address as the host each time the dialog comes up.
    void FormActivate();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

extern TfrmNewClientSock *frmNewClientSock;

// Left by an accepted dialog for the create command.
extern QString NewClientHost;
extern int32_t NewClientPort;

#pragma once
// The TCP server creation dialog: the port to listen on.

#include <cstdint>

#include "TCreateDialog.h"

class TfrmNewServerSock : public TCreateDialog {
    Q_OBJECT
public:
    explicit TfrmNewServerSock(QWidget *parent = nullptr);
    ~TfrmNewServerSock() override;

    void Button1Click(); // OK
    void Button2Click(); // Cancel

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *Button2 = nullptr;
};

extern TfrmNewServerSock *frmNewServerSock;

// Left by an accepted dialog for the create command.
extern int32_t NewServerPort;

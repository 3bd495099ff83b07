#pragma once
// The UDP server creation dialog: a free local port.

#include <cstdint>

#include "TCreateDialog.h"

class TfrmNewUDPServer : public TCreateDialog {
    Q_OBJECT
public:
    explicit TfrmNewUDPServer(QWidget *parent = nullptr);
    ~TfrmNewUDPServer() override;

    void Button1Click(); // OK
    void Button2Click(); // Cancel

    QLabel *Label3 = nullptr;
    QLineEdit *Edit3 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *Button2 = nullptr;
};

extern TfrmNewUDPServer *frmNewUDPServer;

// Left by an accepted dialog for the create command.
extern int32_t NewUdpServerPort;

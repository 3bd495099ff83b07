#pragma once
// The multicast group creation dialog: group address and port.

#include <cstdint>

// Qt
#include <QString>

#include "TCreateDialog.h"

class TfrmNewGroupSock : public TCreateDialog {
    Q_OBJECT
public:
    explicit TfrmNewGroupSock(QWidget *parent = nullptr);
    ~TfrmNewGroupSock() override;

    void Button1Click(); // OK
    void Button2Click(); // Cancel

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    TsuiButton *Button1 = nullptr;
    TsuiButton *Button2 = nullptr;
};

extern TfrmNewGroupSock *frmNewGroupSock;

// Left by an accepted dialog for the create command.
extern QString NewGroupAddress;
extern int32_t NewGroupPort;

#include "newudpserver.h"

// Qt
#include <QLineEdit>

// platform
#include "MessageSeam.h"
#include "StrToInt.h"
// skin
#include "TsuiButton.h"

#include "PortProbe.h"

TfrmNewUDPServer *frmNewUDPServer = nullptr;
int32_t NewUdpServerPort = 0;

TfrmNewUDPServer::TfrmNewUDPServer(QWidget *parent)
    : TCreateDialog(parent, QStringLiteral("创建UDP Server"), QRect(360, 327, 242, 159))
{
    setObjectName(QStringLiteral("frmNewUDPServer"));
    Label3 = AddLabel("Label3", QStringLiteral("本地端口    "), QRect(32, 32, 68, 13));
    Edit3 = AddEdit("Edit3", QStringLiteral("60000"), QRect(96, 26, 105, 21));
    Button1 = AddButton("Button1", QStringLiteral("确定"), QRect(32, 65, 80, 27));
    Button2 = AddButton("Button2", QStringLiteral("取消"), QRect(120, 65, 80, 27));
    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
}

TfrmNewUDPServer::~TfrmNewUDPServer()
{
    if (frmNewUDPServer == this)
        frmNewUDPServer = nullptr;
}

void TfrmNewUDPServer::Button1Click()
{
    NewUdpServerPort = StrToInt(Edit3->text());
    // The UDP component does not report a failed bind: this is where a taken port shows.
    if (IsLocalPortTaken(NewUdpServerPort)) {
        ui::ShowMessage(QStringLiteral("本地端口已被占用，请重新选择本地端口号"));
        return;
    }
    done(mrOk);
}

void TfrmNewUDPServer::Button2Click()
{
    done(mrCancel);
}

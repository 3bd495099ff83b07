#include "newudpsock.h"

// Qt
#include <QLineEdit>
#include <QShowEvent>

// adapterinfo
#include "netcardinfo.h"
// platform
#include "MessageSeam.h"
#include "StrToInt.h"
// skin
#include "TsuiButton.h"

#include "PortProbe.h"

TfrmNewUdpSock *frmNewUdpSock = nullptr;
QString NewUdpHost;
int32_t NewUdpRemotePort = 0;
int32_t NewUdpLocalPort = 0;

TfrmNewUdpSock::TfrmNewUdpSock(QWidget *parent)
    : TCreateDialog(parent, QStringLiteral("创建UDP Client"), QRect(392, 233, 246, 247))
{
    setObjectName(QStringLiteral("frmNewUdpSock"));
    Label1 = AddLabel("Label1", QStringLiteral("对方IP   "), QRect(32, 32, 47, 13));
    Label2 = AddLabel("Label2", QStringLiteral("对方端口  "), QRect(32, 90, 62, 13));
    Label3 = AddLabel("Label3", QStringLiteral("本地端口    "), QRect(32, 117, 68, 13));
    Edit1 = AddEdit("Edit1", QStringLiteral("127.0.0.1"), QRect(96, 27, 105, 21));
    Edit2 = AddEdit("Edit2", QStringLiteral("60000"), QRect(96, 85, 105, 21));
    Edit3 = AddEdit("Edit3", QStringLiteral("10000"), QRect(96, 111, 105, 21));
    Button1 = AddButton("Button1", QStringLiteral("确定"), QRect(32, 161, 80, 27));
    suiButton1 = AddButton("suiButton1", QStringLiteral("取消"), QRect(120, 161, 80, 27));
    Button3 = AddButton("Button3", QStringLiteral("广播地址"), QRect(96, 50, 105, 23));
    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(suiButton1, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
    connect(Button3, &TsuiButton::clicked, this, ui::Guarded([this] { Button3Click(); }));
}

TfrmNewUdpSock::~TfrmNewUdpSock()
{
    if (frmNewUdpSock == this)
        frmNewUdpSock = nullptr;
}

void TfrmNewUdpSock::showEvent(QShowEvent *event)
{
    TCreateDialog::showEvent(event);
    // Once per showing, not on every activation: the dialog is active again after its own
    // message boxes, and the host the user typed must survive a refused local port.
    if (!event->spontaneous())
        FormActivate();
}

void TfrmNewUdpSock::FormActivate()
{
    Edit1->setText(GetLocalAddress());
}

void TfrmNewUdpSock::Button1Click()
{
    NewUdpHost = Edit1->text();
    NewUdpRemotePort = StrToInt(Edit2->text());
    NewUdpLocalPort = StrToInt(Edit3->text());
    // The UDP component does not report a failed bind: this is where a taken port shows.
    if (IsLocalPortTaken(NewUdpLocalPort)) {
        ui::ShowMessage(QStringLiteral("本地端口已被占用，请重新选择本地端口号"));
        return;
    }
    done(mrOk);
}

void TfrmNewUdpSock::Button2Click()
{
    done(mrCancel);
}

void TfrmNewUdpSock::Button3Click()
{
    Edit1->setText(GetBroadcastAddress());
}

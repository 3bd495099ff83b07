#include "newclientsock.h"

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

TfrmNewClientSock *frmNewClientSock = nullptr;
QString NewClientHost;
int32_t NewClientPort = 0;

TfrmNewClientSock::TfrmNewClientSock(QWidget *parent)
    : TCreateDialog(parent, QStringLiteral("创建Socket客户端"), QRect(344, 238, 259, 209))
{
    setObjectName(QStringLiteral("frmNewClientSock"));
    Label1 = AddLabel("Label1", QStringLiteral("对方IP:    "), QRect(32, 37, 53, 13));
    Label2 = AddLabel("Label2", QStringLiteral("对方端口:  "), QRect(32, 72, 65, 13));
    Edit1 = AddEdit("Edit1", QStringLiteral("127.0.0.1"), QRect(96, 32, 97, 21));
    Edit2 = AddEdit("Edit2", QStringLiteral("60000"), QRect(96, 69, 97, 21));
    Button1 = AddButton("Button1", QStringLiteral("确定"), QRect(32, 112, 80, 27));
    Button2 = AddButton("Button2", QStringLiteral("取消"), QRect(120, 112, 80, 27));
    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
}

TfrmNewClientSock::~TfrmNewClientSock()
{
    if (frmNewClientSock == this)
        frmNewClientSock = nullptr;
}

void TfrmNewClientSock::showEvent(QShowEvent *event)
{
    TCreateDialog::showEvent(event);
    // Once per showing, not on every activation: the dialog is active again after any message
    // box it showed, and the host the user typed must survive that.
    if (!event->spontaneous())
        FormActivate();
}

void TfrmNewClientSock::FormActivate()
{
    Edit1->setText(GetLocalAddress());
}

void TfrmNewClientSock::Button1Click()
{
    NewClientHost = Edit1->text();
    NewClientPort = StrToInt(Edit2->text());
    done(mrOk);
}

void TfrmNewClientSock::Button2Click()
{
    done(mrCancel);
}

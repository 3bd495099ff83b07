#include "newgroupsock.h"

// Qt
#include <QLineEdit>

// platform
#include "MessageSeam.h"
#include "StrToInt.h"
// skin
#include "TsuiButton.h"

TfrmNewGroupSock *frmNewGroupSock = nullptr;
QString NewGroupAddress;
int32_t NewGroupPort = 0;

TfrmNewGroupSock::TfrmNewGroupSock(QWidget *parent)
    : TCreateDialog(parent, QStringLiteral("创建UDP组播"), QRect(312, 289, 250, 203))
{
    setObjectName(QStringLiteral("frmNewGroupSock"));
    Label1 = AddLabel("Label1", QStringLiteral("组播地址:  "), QRect(32, 27, 65, 13));
    Label2 = AddLabel("Label2", QStringLiteral("组播端口: "), QRect(32, 64, 62, 13));
    Edit1 = AddEdit("Edit1", QStringLiteral("224.1.1.1"), QRect(96, 24, 97, 21));
    Edit2 = AddEdit("Edit2", QStringLiteral("65000"), QRect(96, 61, 97, 21));
    Button1 = AddButton("Button1", QStringLiteral("确定"), QRect(32, 112, 80, 27));
    Button2 = AddButton("Button2", QStringLiteral("取消"), QRect(120, 112, 80, 27));
    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
}

TfrmNewGroupSock::~TfrmNewGroupSock()
{
    if (frmNewGroupSock == this)
        frmNewGroupSock = nullptr;
}

// The group's port is not probed: a port in use shows up when the group socket binds.
void TfrmNewGroupSock::Button1Click()
{
    NewGroupAddress = Edit1->text();
    NewGroupPort = StrToInt(Edit2->text());
    done(mrOk);
}

void TfrmNewGroupSock::Button2Click()
{
    done(mrCancel);
}

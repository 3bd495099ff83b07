#include "newserversock.h"

// Qt
#include <QLineEdit>

// platform
#include "MessageSeam.h"
#include "StrToInt.h"
// skin
#include "TsuiButton.h"

TfrmNewServerSock *frmNewServerSock = nullptr;
int32_t NewServerPort = 0;

TfrmNewServerSock::TfrmNewServerSock(QWidget *parent)
    : TCreateDialog(parent, QStringLiteral("创建Socket服务器"), QRect(297, 301, 285, 166))
{
    setObjectName(QStringLiteral("frmNewServerSock"));
    Label1 = AddLabel("Label1", QStringLiteral("监听端口:  "), QRect(48, 27, 65, 13));
    Edit1 = AddEdit("Edit1", QStringLiteral("60000"), QRect(104, 24, 113, 21));
    Button1 = AddButton("Button1", QStringLiteral("确定"), QRect(48, 65, 80, 27));
    Button2 = AddButton("Button2", QStringLiteral("取消"), QRect(136, 65, 80, 27));
    connect(Button1, &TsuiButton::clicked, this, ui::Guarded([this] { Button1Click(); }));
    connect(Button2, &TsuiButton::clicked, this, ui::Guarded([this] { Button2Click(); }));
}

TfrmNewServerSock::~TfrmNewServerSock()
{
    if (frmNewServerSock == this)
        frmNewServerSock = nullptr;
}

void TfrmNewServerSock::Button1Click()
{
    NewServerPort = StrToInt(Edit1->text());
    done(mrOk);
}

void TfrmNewServerSock::Button2Click()
{
    done(mrCancel);
}

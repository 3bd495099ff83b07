#include "MainWindowBench.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>

// Qt
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "WinSock.h"
// workbench
#include "TMySocket.h"
#include "Unit1.h"

namespace bench {

long long HeapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd);
}

void DrainEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

int UnusedPort()
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_addr = ws::inet_addr("127.0.0.1");
    ws::bind(s, a);
    ws::getsockname(s, &a);
    ws::closesocket(s);
    return ws::NetToHost16(a.sin_port);
}

TMySocket *CreateTcpServer(TForm1 &form, int port)
{
    form.TreeView1->setCurrentItem(form.CategoryNode(kind::TcpServer));
    QTimer::singleShot(0, [port] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            dialog->findChild<QLineEdit *>(QStringLiteral("Edit1"))->setText(QString::number(port));
            // A real press and release: the skinned button clicks only from its own mouse handling.
            QTest::mouseClick(dialog->findChild<QWidget *>(QStringLiteral("Button1")), Qt::LeftButton);
        }
    });
    form.Button1Click();
    if (form.SocketList.Count() != 1 || form.SocketList.Items(0)->LinkState != 1 || !form.MdiArea->isVisible()) {
        std::fprintf(stderr, "could not create the TCP server\n");
        std::exit(1);
    }
    return form.SocketList.Items(0);
}

} // namespace bench

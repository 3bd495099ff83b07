#include "datapanel.h"

// Qt
#include <QCloseEvent>
#include <QMdiArea>
#include <QPlainTextEdit>

TFrmData::TFrmData(QMdiArea *area)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("数据收发窗口"));
    Memo2 = new QPlainTextEdit(this);
    setWidget(Memo2);
    area->addSubWindow(this);
    showMaximized();
}

TFrmData::~TFrmData() = default;

void TFrmData::LogReceived(const QByteArray &block)
{
    Memo2->appendPlainText(QString::fromLocal8Bit(block));
    RecvCount += block.size();
    ShowCounters();
}

void TFrmData::ShowCounters() {}

void TFrmData::closeEvent(QCloseEvent *event)
{
    // Closing a data window only minimises it; it keeps receiving and counting.
    event->ignore();
    showMinimized();
}

void RefreshStatus(TMySocket *) {}

// The send box as a user works it, through the real window with a peer on loopback that is a plain
// socket of this process: a send that finds no link keeps its text and logs nothing, the counter
// line is right as soon as a send command or file send ends, hex text pasted with blanks goes out
// as its digits and any other character refuses it, sends that went out come back with Ctrl+Up and
// Ctrl+Down or from the box's menu, and the log is cleared from its menu.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include "CreateCommand.h"
#include "Expected.h"
#include "HeldPort.h"
#include "LogBudget.h"
#include "LogView.h"
#include "MainWindowTest.h"
#include "TMySocket.h"
#include "TestSupport.h"
#include "TsuiButton.h"
#include "Unit1.h"
#include "datapanel.h"

using namespace testing_support;

namespace {

const QString SendLabel = QStringLiteral(" 发送数据：");
const QString NotConnected = QStringLiteral("未连接,数据未发送!");

// A TCP peer on 127.0.0.1 in this process: it listens, takes one connection, and reads whatever
// comes while the program handles events.
class LoopbackPeer {
public:
    LoopbackPeer()
    {
        FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (::bind(FListener, reinterpret_cast<sockaddr *>(&a), n) == 0 && ::listen(FListener, 1) == 0
            && ::getsockname(FListener, reinterpret_cast<sockaddr *>(&a), &n) == 0)
            port = ntohs(a.sin_port);
    }
    ~LoopbackPeer()
    {
        FReader.reset();
        for (int fd : {FConnection, FListener})
            if (fd >= 0)
                ::close(fd);
    }

    // Takes the connection the program made.
    bool Accept()
    {
        WaitUntil([&] { return (FConnection = ::accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0; });
        if (FConnection < 0)
            return false;
        FReader = std::make_unique<QSocketNotifier>(FConnection, QSocketNotifier::Read);
        QObject::connect(FReader.get(), &QSocketNotifier::activated, [this] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(FConnection, buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
        });
        return true;
    }
    bool Send(const QByteArray &bytes) { return ::write(FConnection, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // Waits until this many bytes came in all.
    bool Received(qsizetype total) { return WaitUntil([&] { return received.size() >= total; }, 20000) && received.size() == total; }

    int port = 0;
    QByteArray received;

private:
    int FListener = -1;
    int FConnection = -1;
    std::unique_ptr<QSocketNotifier> FReader;
};

class SendBox : public MainWindowTest {
protected:
    // A TCP client of the program connected to the peer, its window in front.
    TFrmData *Connected()
    {
        TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), peer.port);
        TFrmData *w = ShowWindow(*form, client);
        w->Button5Click();
        EXPECT_TRUE(peer.Accept());
        EXPECT_TRUE(WaitUntil([&] { return client->LinkState == 1; }));
        return w;
    }

    // Types into the empty send box as a user does, sets the count, and presses "发送数据".
    static void TypeAndSend(TFrmData *w, const QString &text, const QString &repeat = QStringLiteral("1"))
    {
        w->Memo3->clear();
        w->Memo3->setFocus();
        QTest::keyClicks(w->Memo3, text);
        Press(w, repeat);
    }
    static void Press(TFrmData *w, const QString &repeat = QStringLiteral("1"))
    {
        w->ComboBox2->setCurrentText(repeat);
        QTest::mouseClick(w->Button11, Qt::LeftButton);
    }
    // Pastes into the send box with Ctrl+V, as from a packet dump.
    static void Paste(TFrmData *w, const QString &text)
    {
        w->Memo3->clear();
        w->Memo3->setFocus();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(w->Memo3, Qt::Key_V, Qt::ControlModifier);
    }
    static QString Log(TFrmData *w)
    {
        w->FlushLog();
        return w->LogText();
    }
    static void Key(TFrmData *w, Qt::Key key) { QTest::keyClick(w->Memo3, key, Qt::ControlModifier); }

    LoopbackPeer peer;
};

} // namespace

TEST_F(SendBox, ASendRefusedBeforeAnyByteWentKeepsTheTextAndLogsNothing)
{
    // A client that never connected: told, nothing logged, the text kept to be sent later.
    HeldPort closed("127.0.0.1", ws::SOCK_STREAM_);
    TFrmData *idle = ShowWindow(*form, form->CreateTcpClient(QStringLiteral("127.0.0.1"), closed.port));
    TypeAndSend(idle, QStringLiteral("test"));
    EXPECT_EQ(recorder.all, QStringList{NotConnected});
    EXPECT_EQ(Log(idle), QString());
    EXPECT_EQ(idle->Memo3->toPlainText(), QStringLiteral("test"));
    EXPECT_EQ(idle->SendCount, 0);
    EXPECT_TRUE(idle->SendHistory().Entries().empty());

    // A count that is no number: its error, and again the text stays and nothing is logged.
    TFrmData *w = Connected();
    recorder.clear();
    TypeAndSend(w, QStringLiteral("xy"), QStringLiteral("abc"));
    EXPECT_EQ(recorder.errors, QStringList{QStringLiteral("'abc' is not a valid integer value")});
    EXPECT_EQ(Log(w), QString());
    EXPECT_EQ(w->Memo3->toPlainText(), QStringLiteral("xy"));

    // Sent once the link is there: the box empties, as designed.
    recorder.clear();
    Press(w);
    ASSERT_TRUE(peer.Received(2));
    EXPECT_EQ(peer.received, QByteArray("xy"));
    EXPECT_TRUE(Log(w).endsWith(SendLabel + QStringLiteral("xy[1次]")));
    EXPECT_EQ(w->Memo3->toPlainText(), QString());
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(SendBox, TheCounterLineIsRightAsSoonAsASendCommandOrFileSendEnds)
{
    TFrmData *w = Connected();
    TypeAndSend(w, QStringLiteral("0123456789"), QStringLiteral("1000"));
    EXPECT_EQ(w->StatusBar2Panel0->text(), CountersText(0, 10000));
    ASSERT_TRUE(peer.Received(10000));

    // Three and a half mebibytes: several pieces, the peer reading while the send waits.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray content = QByteArray("velmora ").repeated(448 * 1024);
    ASSERT_EQ(file.write(content), content.size());
    file.close();
    recorder.chosenFile = path;
    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo3, {QStringLiteral("发送文件")}));
    ASSERT_TRUE(WaitUntil([&] { return w->SendCount == 10000 + content.size(); }, 30000));
    EXPECT_EQ(w->StatusBar2Panel0->text(), CountersText(0, 10000 + content.size()));
    ASSERT_TRUE(peer.Received(10000 + content.size()));
    EXPECT_TRUE(peer.received.endsWith(content));
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

TEST_F(SendBox, HexTextGoesOutAsItsDigitsAndAnyOtherCharacterRefusesIt)
{
    TFrmData *w = Connected();
    w->CheckBox2->setChecked(true);
    // As copied from a packet dump: blanks, a tab, line breaks; the odd last digit is dropped.
    Paste(w, QStringLiteral("41 42 43\n44\t45\r\n 46 4"));
    EXPECT_EQ(w->Memo3->toPlainText().count(u'4'), 8);
    Press(w);
    ASSERT_TRUE(peer.Received(6));
    EXPECT_EQ(peer.received, QByteArray("ABCDEF"));
    EXPECT_TRUE(Log(w).endsWith(SendLabel + HexBlockText("ABCDEF") + QStringLiteral("ABCDEF[1次]")))
        << Log(w).toStdString();
    EXPECT_EQ(w->StatusBar2Panel0->text(), CountersText(0, 6));

    // Text written before the switch: refused at its first character that is no digit.
    const QString before = Log(w);
    struct Case {
        QString box;
        QString message;
    };
    const Case cases[] = {
        {QStringLiteral("ab 中"), QStringLiteral("十六进制数据中第4个字符“中”不是十六进制数字,数据未发送!")},
        {QStringLiteral("Hi中 ab"), QStringLiteral("十六进制数据中第1个字符“H”不是十六进制数字,数据未发送!")},
        {QStringLiteral("41\n4x"), QStringLiteral("十六进制数据中第5个字符“x”不是十六进制数字,数据未发送!")},
        {QStringLiteral("41,42"), QStringLiteral("十六进制数据中第3个字符“,”不是十六进制数字,数据未发送!")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.box.toStdString());
        recorder.clear();
        Paste(w, c.box);
        Press(w);
        EXPECT_EQ(recorder.messages, QStringList{c.message});
        EXPECT_EQ(w->Memo3->toPlainText(), c.box);
        EXPECT_EQ(Log(w), before);
        EXPECT_EQ(w->SendCount, 6);
    }
    // Nothing more reached the peer: the next send is all that follows.
    TypeAndSend(w, QStringLiteral("7a"));
    ASSERT_TRUE(peer.Received(7));
    EXPECT_EQ(peer.received, QByteArray("ABCDEFz"));
}

TEST_F(SendBox, CtrlUpAndDownWalkTheSendsThatWentOutAndTheMenuListsThem)
{
    TFrmData *w = Connected();
    TypeAndSend(w, QStringLiteral("one"));
    w->CheckBox2->setChecked(true);
    Paste(w, QStringLiteral("41 42"));
    Press(w);
    Paste(w, QStringLiteral("41 42"));
    Press(w); // the same again: kept once
    Paste(w, QStringLiteral("4g"));
    Press(w); // refused: not kept
    w->CheckBox2->setChecked(false);
    TypeAndSend(w, QStringLiteral("three"));
    ASSERT_TRUE(peer.Received(3 + 2 + 2 + 5));

    TypeAndSend(w, QString(), QStringLiteral("1")); // an empty box sends nothing
    QTest::keyClicks(w->Memo3, QStringLiteral("draft"));
    struct Step {
        Qt::Key key;
        QString box;
        bool hex;
    };
    const Step walk[] = {
        {Qt::Key_Up, QStringLiteral("three"), false}, {Qt::Key_Up, QStringLiteral("41 42"), true},
        {Qt::Key_Up, QStringLiteral("one"), false},   {Qt::Key_Up, QStringLiteral("one"), false},
        {Qt::Key_Down, QStringLiteral("41 42"), true}, {Qt::Key_Down, QStringLiteral("three"), false},
        {Qt::Key_Down, QStringLiteral("draft"), false}, {Qt::Key_Down, QStringLiteral("draft"), false},
    };
    for (const Step &s : walk) {
        Key(w, s.key);
        EXPECT_EQ(w->Memo3->toPlainText(), s.box);
        EXPECT_EQ(w->CheckBox2->isChecked(), s.hex);
        EXPECT_EQ(w->HexMode(), s.hex);
    }

    // A recalled hex send goes out again as it went.
    Key(w, Qt::Key_Up);
    Key(w, Qt::Key_Up);
    Press(w);
    ASSERT_TRUE(peer.Received(14));
    EXPECT_TRUE(peer.received.endsWith("AB"));

    // The menu: newest first, hex marked; an entry puts its send into the box.
    QStringList seen;
    ASSERT_FALSE(ChooseContextMenuEntry(w->Memo3, {QStringLiteral("发送历史"), QStringLiteral("none such")}, &seen));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("[HEX] 41 42"), QStringLiteral("three"), QStringLiteral("[HEX] 41 42"),
                                 QStringLiteral("one")}));
    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo3, {QStringLiteral("发送历史"), QStringLiteral("one")}));
    EXPECT_EQ(w->Memo3->toPlainText(), QStringLiteral("one"));
    EXPECT_FALSE(w->HexMode());

    // The last 50 are kept.
    for (int i = 0; i < 55; ++i)
        TypeAndSend(w, QStringLiteral("n%1").arg(i));
    ASSERT_EQ(w->SendHistory().Entries().size(), 50u);
    EXPECT_EQ(w->SendHistory().Entries().front().text, QStringLiteral("n5"));
    EXPECT_EQ(w->SendHistory().Entries().back().text, QStringLiteral("n54"));
}

TEST_F(SendBox, ClearingTheLogKeepsTheCountersAndAHeldCharacter)
{
    TFrmData *w = Connected();
    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("文字编码"), QStringLiteral("UTF-8")}));
    TypeAndSend(w, QStringLiteral("hello"));
    ASSERT_TRUE(peer.Received(5));
    // The first two of the three bytes of 温 end the read: they wait for the rest.
    ASSERT_TRUE(peer.Send("ok\xe6\xb8"));
    ASSERT_TRUE(WaitUntil([&] { return w->RecvCount == 4; }));
    ASSERT_TRUE(w->HoldsBytes());
    // An edit of the user's, which could be undone until the clear.
    w->Memo2->setFocus();
    QTest::keyClicks(w->Memo2, QStringLiteral("note"));
    ASSERT_EQ(w->LogLineCount(), 2);

    ASSERT_TRUE(ChooseContextMenuEntry(w->Memo2, {QStringLiteral("清空接收区")}));
    EXPECT_EQ(w->LogLineCount(), 0);
    EXPECT_EQ(w->Memo2->toPlainText(), QString());
    EXPECT_FALSE(w->Memo2->isUndoAvailable());
    // The budget knows: this is the only log there is.
    EXPECT_EQ(TLogBudget::Instance().Total(), w->LogBytes());
    EXPECT_EQ(w->StatusBar2Panel0->text(), CountersText(4, 5));
    EXPECT_TRUE(w->HoldsBytes());

    // The held bytes show when their rest does not come, as the log's only line.
    ASSERT_TRUE(WaitUntil([&] { return !w->HoldsBytes(); }));
    ASSERT_EQ(w->LogLineCount(), 1);
    EXPECT_TRUE(Log(w).endsWith(QString::fromUtf8("收到数据：\xe6\xb8"))) << Log(w).toStdString();
    // And the log goes on as before.
    TypeAndSend(w, QStringLiteral("again"));
    ASSERT_TRUE(peer.Received(10));
    EXPECT_EQ(w->LogLineCount(), 2);
    EXPECT_TRUE(recorder.all.isEmpty()) << recorder.all.join('|').toStdString();
}

// The main window: category nodes, the create / delete / select operations on the tree, and the
// placeholder panel.

#include <gtest/gtest.h>

// Qt
#include <QMdiSubWindow>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "ModalGuard.h"
#include "PrivateNetwork.h"
#include "TMySocket.h"
#include "JpegDecoder.h"
#include "TestSupport.h"
#include "TreeNode.h"
#include "TsuiButton.h"
#include "TsuiImagePanel.h"
#include "Unit1.h"
#include "datapanel.h"

namespace {

// The create command shows its dialog modally: the next one is ended with Cancel once it is up.
testing_support::ModalAnswer *CancelNextDialog()
{
    return new testing_support::ModalAnswer([](QDialog *dialog) { dialog->done(2); });
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(); }
    void TearDown() override { form.reset(); }

    QTreeWidgetItem *category(const QString &k) { return form->CategoryNode(k); }
    void select(QTreeWidgetItem *node) { form->TreeView1->setCurrentItem(node); }

    std::unique_ptr<TForm1> form;
    testing_support::MessageRecorder recorder;
};

} // namespace

TEST_F(MainWindow, WindowAndCategoriesAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora V2.2"));
    EXPECT_EQ(form->size(), QSize(723, 547));
    EXPECT_EQ(form->minimumSize(), QSize(125, 50));
    EXPECT_EQ(form->maximumSize(), QSize(1024, 734));
    testing_support::ExpectFormButton(form->Button1, QStringLiteral("创建"), QRect(3, 4, 80, 27));
    testing_support::ExpectFormButton(form->Button2, QStringLiteral("删除"), QRect(86, 4, 80, 27));
    testing_support::ExpectFormButton(form->Button8, QStringLiteral("退出"), QRect(181, 4, 80, 26), true);
    EXPECT_TRUE(form->StatusBar1->isHidden());
    EXPECT_TRUE(form->Button5->isHidden());
    EXPECT_TRUE(form->Button6->isHidden());

    const QStringList expected{"TCP Server", "TCP Client", "UDP Server", "UDP Client", "UDP Group"};
    ASSERT_EQ(form->TreeView1->topLevelItemCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QTreeWidgetItem *node = form->TreeView1->topLevelItem(i);
        EXPECT_EQ(node->text(0), expected[i]);
        EXPECT_EQ(StateIndex(node), state::Category);
        EXPECT_EQ(NodeInstance(node), nullptr);
    }
}

TEST_F(MainWindow, InstancesGetCaptionStateNodeAndWindow)
{
    // A group member joins its group: only ever on loopback, in a network of its own.
    VELMORA_IN_PRIVATE_NETWORK();
    ASSERT_TRUE(testing_support::RouteMulticastToLoopback());
    TMySocket *client = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    TMySocket *udp = form->CreateUdpClient(QStringLiteral("host.example"), 7000, 10000);
    TMySocket *group = form->CreateUdpGroup(QStringLiteral("224.1.1.1"), 65000);

    EXPECT_EQ(client->Kind, kind::TcpClient);
    EXPECT_EQ(client->Node->text(0), QStringLiteral("127.0.0.1[6000]"));
    EXPECT_EQ(client->Node->parent(), category(kind::TcpClient));
    EXPECT_EQ(StateIndex(client->Node), state::NotConnected);
    EXPECT_EQ(udp->Node->text(0), QStringLiteral("host.example[7000]"));
    EXPECT_EQ(StateIndex(udp->Node), state::Udp);
    EXPECT_EQ(group->Node->text(0), QStringLiteral("224.1.1.1[65000]"));
    EXPECT_EQ(StateIndex(group->Node), state::Group);
    EXPECT_EQ(group->LocalPort, 65000);
    EXPECT_EQ(group->LocalAddress, QStringLiteral("224.1.1.1"));

    for (TMySocket *i : {client, udp, group}) {
        EXPECT_EQ(NodeInstance(i->Node), i);
        ASSERT_NE(i->DataWindow, nullptr);
        EXPECT_EQ(i->DataWindow->MySocket, i);
        EXPECT_FALSE(i->CreatedAt.isEmpty());
        EXPECT_EQ(i->LinkState, 0);
    }
    EXPECT_EQ(form->SocketList.Count(), 3);
    // The newest instance's node is selected and its category expanded.
    EXPECT_EQ(form->TreeView1->currentItem(), group->Node);
    EXPECT_TRUE(category(kind::UdpGroup)->isExpanded());
}

TEST_F(MainWindow, TwoInstancesWithTheSameCaptionAreKeptApart)
{
    TMySocket *a = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    TMySocket *b = form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    ASSERT_NE(a, b);
    select(a->Node);
    form->Button2Click();
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(form->SocketList.Items(0), b);
    EXPECT_EQ(category(kind::TcpClient)->childCount(), 1);
    EXPECT_EQ(category(kind::TcpClient)->child(0), b->Node);
}

TEST_F(MainWindow, PlaceholderShownExactlyWhileNoInstanceExists)
{
    form->show();
    EXPECT_TRUE(form->Panel3->isVisible());
    form->CreateUdpServer(0);
    select(category(kind::UdpServer));
    std::unique_ptr<testing_support::ModalAnswer> cancel(CancelNextDialog());
    form->Button1Click(); // cancelled dialog: nothing is made, the rule is applied again
    cancel.reset();
    EXPECT_FALSE(form->Panel3->isVisible());

    TMySocket *second = form->CreateTcpClient(QStringLiteral("a"), 1);
    select(second->Node);
    form->Button2Click();
    EXPECT_FALSE(form->Panel3->isVisible());
    select(form->SocketList.Items(0)->Node);
    form->Button2Click();
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_TRUE(form->Panel3->isVisible());
}

TEST_F(MainWindow, CategoryNodesCannotBeDeletedOrUsedAsInstances)
{
    form->CreateTcpClient(QStringLiteral("127.0.0.1"), 6000);
    for (const QString &k : {kind::TcpServer, kind::TcpClient, kind::UdpServer, kind::UdpClient, kind::UdpGroup}) {
        select(category(k));
        form->Button2Click();
        form->Button6Click();
        form->TreeView1Change(category(k));
    }
    EXPECT_EQ(form->TreeView1->topLevelItemCount(), 5);
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(category(kind::TcpClient)->childCount(), 1);
}

TEST_F(MainWindow, CreateWithNothingSelectedDoesNothing)
{
    form->TreeView1->setCurrentItem(nullptr);
    form->Button1Click();
    EXPECT_EQ(form->TreeView1->currentItem(), nullptr);
    EXPECT_TRUE(form->SocketList.IsEmpty());
}

TEST_F(MainWindow, TheOperationsActOnTheSelectedNodeNotOnTheOneTheFocusMadeCurrent)
{
    // At start the focus comes to the tree as the user tabs there: the toolkit makes the first
    // node current, selecting none.
    form->show();
    QApplication::setActiveWindow(form.get());
    form->TreeView1->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(form->TreeView1->currentItem(), category(kind::TcpServer));
    ASSERT_TRUE(form->TreeView1->selectedItems().isEmpty());
    EXPECT_EQ(form->SelectedNode(), nullptr);

    // "创建" opens no dialog; "删除" deletes nothing.
    int dialogs = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&dialogs] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++dialogs;
            dialog->done(2);
        }
    });
    watch.start(20);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    testing_support::DrainEvents();
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(form->SocketList.IsEmpty());

    TMySocket *udp = form->CreateUdpServer(0);
    form->TreeView1->clearSelection();
    form->TreeView1->setCurrentItem(udp->Node, 0, QItemSelectionModel::NoUpdate);
    ASSERT_EQ(form->SelectedNode(), nullptr);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    testing_support::DrainEvents();
    EXPECT_EQ(form->SocketList.Count(), 1);
    EXPECT_EQ(category(kind::UdpServer)->childCount(), 1);

    // Selected (an arrow key moves the selection with the current node), it is acted on.
    form->TreeView1->setCurrentItem(category(kind::UdpServer), 0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(form->TreeView1, Qt::Key_Down);
    ASSERT_EQ(form->SelectedNode(), udp->Node);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST_F(MainWindow, CreateWithAnInstanceSelectedGoesToItsCategory)
{
    TMySocket *udp = form->CreateUdpClient(QStringLiteral("127.0.0.1"), 1, 0);
    select(udp->Node);
    std::unique_ptr<testing_support::ModalAnswer> cancel(CancelNextDialog());
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    cancel.reset();
    EXPECT_EQ(form->TreeView1->currentItem(), category(kind::UdpClient));
}

TEST_F(MainWindow, DeleteRemovesInstanceNodeAndWindow)
{
    TMySocket *udp = form->CreateUdpServer(0);
    QPointer<TFrmData> window = udp->DataWindow;
    select(udp->Node);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_TRUE(form->SocketList.IsEmpty());
    EXPECT_EQ(category(kind::UdpServer)->childCount(), 0);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(form->MdiArea->subWindowList().isEmpty());
}

TEST_F(MainWindow, SelectingANodeBringsItsWindowToTheFront)
{
    TMySocket *a = form->CreateUdpServer(0);
    TMySocket *b = form->CreateUdpServer(0);
    form->show();
    select(a->Node);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), a->DataWindow->Frame());
    select(b->Node);
    EXPECT_EQ(form->MdiArea->activeSubWindow(), b->DataWindow->Frame());
}

TEST_F(MainWindow, ClosingADataWindowOnlyMinimisesIt)
{
    TMySocket *a = form->CreateUdpServer(0);
    form->show();
    a->DataWindow->Frame()->close();
    EXPECT_TRUE(a->DataWindow->Frame()->isMinimized());
    EXPECT_EQ(form->SocketList.Count(), 1);
}

// ---- tool bar -----------------------------------------------------------------------------

namespace {

QImage banner()
{
    return LoadJpeg(QString::fromLatin1(BannerResource)).convertToFormat(QImage::Format_RGB32);
}

QImage grabOf(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Columns [from, to) of a strip grab against the banner tiled from x = 0.
int tileMismatches(const QImage &shot, const QImage &picture, int from, int to)
{
    int wrong = 0;
    for (int x = from; x < to; ++x)
        for (int y = 0; y < shot.height(); ++y)
            wrong += shot.pixel(x, y) != picture.pixel(x % picture.width(), y % picture.height());
    return wrong;
}

} // namespace

TEST_F(MainWindow, ToolBarIsTheBannerStripHoldingTheButtons)
{
    form->show();
    EXPECT_EQ(form->Panel1->height(), 35);
    EXPECT_EQ(form->Panel1->y(), 0);
    EXPECT_EQ(form->Panel1->width(), form->centralWidget()->width());
    EXPECT_EQ(form->Panel1->palette().color(QPalette::Window), QColor(166, 202, 240));

    TsuiImagePanel *strip = form->suiImagePanel1;
    ASSERT_EQ(strip->parentWidget(), form->Panel1);
    EXPECT_EQ(strip->geometry(), QRect(1, 1, form->Panel1->width() - 2, 34));
    EXPECT_EQ(strip->DrawStyle(), suiTile);
    EXPECT_EQ(strip->Align(), alTop);
    EXPECT_FALSE(strip->Transparent());
    EXPECT_FALSE(strip->AutoSize());
    EXPECT_TRUE(strip->Caption().isEmpty());
    EXPECT_EQ(strip->Picture().size(), QSize(742, 34));
    for (QWidget *child : {static_cast<QWidget *>(form->Button1), static_cast<QWidget *>(form->Button2),
                           static_cast<QWidget *>(form->Button8), static_cast<QWidget *>(form->Button5),
                           static_cast<QWidget *>(form->Button6)})
        EXPECT_EQ(child->parentWidget(), strip) << child->objectName().toStdString();

    // Right of the buttons the strip shows the banner as it is, tiled from its own corner.
    const QImage picture = banner();
    EXPECT_EQ(tileMismatches(grabOf(strip), picture, 270, strip->width()), 0);

    // A wider window widens the strip, which starts the banner again at x = 742.
    form->resize(1000, form->height());
    QApplication::processEvents();
    ASSERT_EQ(strip->width(), form->Panel1->width() - 2);
    ASSERT_GT(strip->width(), 742);
    EXPECT_EQ(tileMismatches(grabOf(strip), picture, 270, strip->width()), 0);
}

TEST_F(MainWindow, ExitButtonLetsTheBannerShowThroughItsCorners)
{
    form->show();
    const QImage shot = grabOf(form->suiImagePanel1);
    const QImage picture = banner();
    const QRgb key = qRgb(236, 233, 216); // the WinXP pictures' key colour
    // The exit button's corner pixel is the banner's; an opaque button keeps its key colour.
    const QPoint exitCorner = form->Button8->geometry().topLeft();
    EXPECT_EQ(shot.pixel(exitCorner), picture.pixel(exitCorner));
    EXPECT_NE(shot.pixel(exitCorner), key);
    EXPECT_EQ(shot.pixel(form->Button1->geometry().topLeft()), key);
    EXPECT_EQ(shot.pixel(form->Button2->geometry().topLeft()), key);
}

TEST_F(MainWindow, ExitButtonEndsTheEventLoopWithoutTheCloseHandling)
{
    form->show();
    QTimer guard; // a broken exit fails the test instead of hanging it
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QTimer::singleShot(0, form.get(), [this] { QTest::mouseClick(form->Button8, Qt::LeftButton); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    // Not closed: the window would be hidden, its close handling run.
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindow, AssistiveToolsSeeAndPressTheToolBarButtons)
{
    const QList<QPair<TsuiButton *, QString>> buttons{
        {form->Button1, QStringLiteral("创建")}, {form->Button2, QStringLiteral("删除")}, {form->Button8, QStringLiteral("退出")}};
    for (const auto &[button, name] : buttons) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), QAccessible::Button);
        EXPECT_EQ(iface->text(QAccessible::Name), name);
        ASSERT_NE(iface->actionInterface(), nullptr);
        EXPECT_TRUE(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    auto press = [](TsuiButton *button) {
        QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    };

    // "创建" opens the selected category's dialog, "删除" deletes the selected instance.
    TMySocket *udp = form->CreateUdpClient(QStringLiteral("127.0.0.1"), 1, 0);
    select(udp->Node);
    QString shown;
    {
        testing_support::ModalAnswer answer([&shown](QDialog *dialog) {
            shown = dialog->objectName();
            dialog->done(2);
        });
        press(form->Button1);
    }
    EXPECT_EQ(shown, QStringLiteral("frmNewUdpSock"));
    EXPECT_EQ(form->TreeView1->currentItem(), category(kind::UdpClient));

    select(udp->Node);
    press(form->Button2);
    EXPECT_TRUE(form->SocketList.IsEmpty());
}

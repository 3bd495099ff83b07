#include "CreateCommand.h"

// Qt
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "TMySocket.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "datapanel.h"

namespace testing_support {

TMySocket *CreateThroughDialog(TForm1 &form, const QString &kindText, const QMap<QString, QString> &edits)
{
    form.TreeView1->setCurrentItem(form.CategoryNode(kindText));
    // The dialog runs modally inside the command: filled in once it is up.
    QTimer::singleShot(0, [edits] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        for (auto it = edits.begin(); it != edits.end(); ++it)
            if (auto *edit = dialog->findChild<QLineEdit *>(it.key()))
                edit->setText(it.value());
        // A real press and release: the skinned button clicks only from its own mouse handling.
        if (auto *ok = dialog->findChild<QWidget *>(QStringLiteral("Button1")))
            QTest::mouseClick(ok, Qt::LeftButton);
    });
    const int before = form.SocketList.Count();
    form.Button1Click();
    return form.SocketList.Count() == before + 1 ? form.SocketList.Items(before) : nullptr;
}

TFrmData *ShowWindow(TForm1 &form, TMySocket *instance)
{
    const QPointer<TFrmData> window = instance->DataWindow;
    QTreeWidgetItem *node = instance->Node;
    // Already selected (a connection just accepted): its window is on its way to the front.
    if (form.TreeView1->currentItem() == node)
        WaitUntil([&] { return !window || window->IsBuilt(); }, 1000);
    // Else, or if it did not come, the user selects its node (again).
    if (window && !window->IsBuilt()) {
        form.TreeView1->setCurrentItem(node->parent());
        form.TreeView1->setCurrentItem(node);
    } else if (window && form.TreeView1->currentItem() != node) {
        form.TreeView1->setCurrentItem(node);
    }
    return window;
}

} // namespace testing_support

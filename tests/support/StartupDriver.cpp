// A user for the shipped program, put into it with LD_PRELOAD by test_startup: once the
// application exists it finds the main window and its controls by name and class, and works them
// with synthetic mouse and key events only, as a person would. It creates a TCP server on port 0
// through the tool bar and its dialog, creates a second one on a port the test holds (which the
// program answers with a message box, clicked away here), and quits with "退出". What it saw goes
// line by line to the file named by VELMORA_DRIVER_REPORT; the port to try comes in
// VELMORA_DRIVER_TAKEN_PORT. Any step that does not come about in time ends the program with 3.

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <vector>

// Qt
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

struct Step {
    const char *what;
    std::function<bool()> done; // polled on every tick until true
};

class Driver : public QObject {
public:
    explicit Driver(QApplication *app) : QObject(app)
    {
        FReport = std::fopen(qgetenv("VELMORA_DRIVER_REPORT").constData(), "w");
        FTakenPort = qEnvironmentVariable("VELMORA_DRIVER_TAKEN_PORT");
        BuildSteps();
        FTimer.setInterval(20);
        connect(&FTimer, &QTimer::timeout, this, [this] { Tick(); });
        FTimer.start();
        FClock.start();
    }
    ~Driver() override
    {
        Say("driver", "end");
        if (FReport)
            std::fclose(FReport);
    }

private:
    void Say(const char *key, const QString &text)
    {
        if (!FReport)
            return;
        std::fprintf(FReport, "%s %s\n", key, text.toUtf8().constData());
        std::fflush(FReport);
    }

    static QString Name(QWidget *w)
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        return iface ? iface->text(QAccessible::Name) : QString();
    }

    QMainWindow *MainWindow() const
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *main = qobject_cast<QMainWindow *>(w); main && main->isVisible() && main->findChild<QTreeWidget *>(QStringLiteral("TreeView1")))
                return main;
        return nullptr;
    }
    QTreeWidget *Tree() const { return MainWindow()->findChild<QTreeWidget *>(QStringLiteral("TreeView1")); }
    QWidget *ToolButton(const char *name) const
    {
        QWidget *b = MainWindow()->findChild<QWidget *>(QLatin1String(name));
        return b && b->inherits("TsuiButton") ? b : nullptr;
    }
    QTreeWidgetItem *Category(const QString &text) const
    {
        const QList<QTreeWidgetItem *> found = Tree()->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    template <class T> T *Modal(const char *name = nullptr) const
    {
        auto *w = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!w || !w->isVisible() || (name && w->objectName() != QLatin1String(name)))
            return nullptr;
        return w;
    }

    // A click that may open a modal loop runs from a timer of its own: the ticks go on inside.
    static void ClickLater(QWidget *w, QPoint at = QPoint())
    {
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, [target, at] {
            if (target)
                QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
        });
    }

    void TypeInto(QLineEdit *edit, const QString &text)
    {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier); // select all, then type over it
        QTest::keyClicks(edit, text);
    }

    // One creation through the tool bar: the category clicked in the tree, "创建", the port typed
    // into the dialog and its OK clicked.
    void AddCreation(const QString &port)
    {
        FSteps.push_back({"category selected", [this] {
                              QTreeWidgetItem *category = Category(QStringLiteral("TCP Server"));
                              if (!category)
                                  return false;
                              // Selected, as the user sees it: the focus alone makes a node
                              // current without selecting it.
                              if (Tree()->currentItem() == category && category->isSelected())
                                  return true;
                              QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                                                Tree()->visualItemRect(category).center());
                              return false;
                          }});
        FSteps.push_back({"create clicked", [this] {
                              ClickLater(ToolButton("Button1"));
                              return true;
                          }});
        FSteps.push_back({"dialog shown", [this, port] {
                              QDialog *dialog = Modal<QDialog>("frmNewServerSock");
                              if (!dialog)
                                  return false;
                              Say("dialog", dialog->objectName() + QLatin1Char(' ') + dialog->windowTitle());
                              auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("Edit1"));
                              QWidget *ok = dialog->findChild<QWidget *>(QStringLiteral("Button1"));
                              if (!edit || !ok || !ok->inherits("TsuiButton")) {
                                  Say("fail", QStringLiteral("the dialog has no Edit1 or OK button"));
                                  return false;
                              }
                              Say("edit", edit->text());
                              TypeInto(edit, port);
                              Say("typed", edit->text());
                              Say("ok", Name(ok));
                              ClickLater(ok);
                              return true;
                          }});
    }

    void BuildSteps()
    {
        FSteps.push_back({"main window shown", [this] {
                              QMainWindow *main = MainWindow();
                              if (!main)
                                  return false;
                              Say("window", main->windowTitle());
                              QStringList dialogs;
                              for (QDialog *d : main->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
                                  dialogs << d->objectName();
                              dialogs.sort();
                              Say("dialogs", dialogs.join(QLatin1Char(' ')));
                              QStringList categories;
                              for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
                                  categories << Tree()->topLevelItem(i)->text(0);
                              Say("tree", categories.join(QLatin1Char(',')));
                              rlimit files{};
                              getrlimit(RLIMIT_NOFILE, &files);
                              Say("files", files.rlim_cur == files.rlim_max ? QStringLiteral("raised") : QStringLiteral("low"));
                              for (const char *b : {"Button1", "Button2", "Button8"})
                                  Say("button", QLatin1String(b) + QLatin1Char(' ') + (ToolButton(b) ? Name(ToolButton(b)) : QStringLiteral("missing")));
                              return ToolButton("Button1") && ToolButton("Button8");
                          }});
        AddCreation(QStringLiteral("0"));
        FSteps.push_back({"first server made", [this] {
                              if (Modal<QWidget>())
                                  return false;
                              QTreeWidgetItem *category = Category(QStringLiteral("TCP Server"));
                              if (category->childCount() != 1)
                                  return false;
                              Say("node", category->child(0)->text(0));
                              return true;
                          }});
        AddCreation(FTakenPort);
        FSteps.push_back({"message box shown", [this] {
                              QMessageBox *box = Modal<QMessageBox>();
                              if (!box)
                                  return false;
                              Say("box", box->text());
                              const QList<QAbstractButton *> buttons = box->buttons();
                              if (buttons.size() != 1) {
                                  Say("fail", QStringLiteral("the box has %1 buttons").arg(buttons.size()));
                                  return false;
                              }
                              Say("box-button", buttons.first()->text());
                              ClickLater(buttons.first());
                              return true;
                          }});
        FSteps.push_back({"second server made", [this] {
                              if (Modal<QWidget>())
                                  return false;
                              QTreeWidgetItem *category = Category(QStringLiteral("TCP Server"));
                              if (category->childCount() != 2)
                                  return false;
                              Say("node", category->child(1)->text(0));
                              return true;
                          }});
        FSteps.push_back({"exit clicked", [this] {
                              Say("exit", Name(ToolButton("Button8")));
                              ClickLater(ToolButton("Button8"));
                              return true;
                          }});
        // Never done: the program ends first, or is told it did not.
        FSteps.push_back({"the program ended after its exit button", [] { return false; }});
    }

    void Tick()
    {
        if (FNext >= FSteps.size())
            return;
        if (FSteps[FNext].done()) {
            ++FNext;
            FClock.restart();
            return;
        }
        if (!FClock.hasExpired(30000))
            return;
        // Stuck: said so, every modal loop closed, and the program ended with a code of its own.
        FTimer.stop();
        Say("stuck", QLatin1String(FSteps[FNext].what));
        while (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
            if (QApplication::activeModalWidget() == modal)
                break;
        }
        QCoreApplication::exit(3);
    }

    std::FILE *FReport = nullptr;
    QString FTakenPort;
    std::vector<Step> FSteps;
    size_t FNext = 0;
    QTimer FTimer;
    QElapsedTimer FClock;
};

void StartDriver()
{
    // Posted: the application is still being made when this runs.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
                new Driver(app);
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)

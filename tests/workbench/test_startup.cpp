// The program as shipped: the built velmora executable started on its own (offscreen), worked
// through its real tool bar, dialog and message box by a driver put into it with LD_PRELOAD
// (tests/support/StartupDriver.cpp), and quit with "退出".

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// A TCP port of the test's own, listening on every address: the program cannot listen there.
class ListeningPort {
public:
    ListeningPort()
    {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof a;
        if (FSocket < 0 || ::bind(FSocket, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(FSocket, 1) != 0 ||
            ::getsockname(FSocket, reinterpret_cast<sockaddr *>(&a), &length) != 0)
            return;
        port = ntohs(a.sin_port);
    }
    ~ListeningPort()
    {
        if (FSocket >= 0)
            ::close(FSocket);
    }
    ListeningPort(const ListeningPort &) = delete;
    ListeningPort &operator=(const ListeningPort &) = delete;
    int port = 0;

private:
    int FSocket = -1;
};

} // namespace

TEST(Startup, TheShippedProgramCreatesAServerShowsARealBoxAndQuitsThroughItsExitButton)
{
    ListeningPort taken;
    ASSERT_GT(taken.port, 0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString report = dir.filePath(QStringLiteral("report.txt"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELMORA_STARTUP_DRIVER));
    env.insert(QStringLiteral("VELMORA_DRIVER_REPORT"), report);
    env.insert(QStringLiteral("VELMORA_DRIVER_TAKEN_PORT"), QString::number(taken.port));
    // The sanitizers' runtime wants to be the first library loaded; the driver comes before it.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("verify_asan_link_order=0"));

    QProcess program;
    program.setProcessEnvironment(env);
    // Started with a soft limit of descriptors below the hard one: the program raises it itself.
    program.setChildProcessModifier([] {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_max > 1024) {
            files.rlim_cur = 1024;
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
    });
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(VELMORA_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
    // The driver ends a stuck run itself within half a minute a step; this only catches a hang.
    const bool finished = program.waitForFinished(240000);
    if (!finished) {
        program.kill();
        program.waitForFinished(10000);
    }
    const QString output = QString::fromLocal8Bit(program.readAll());
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the driver wrote nothing; the program said:\n" << output.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const std::string seen = lines.join(QLatin1Char('\n')).toStdString() + "\n-- program output:\n" + output.toStdString();

    ASSERT_TRUE(finished) << seen;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << seen;
    EXPECT_EQ(program.exitCode(), 0) << seen;

    const QString address = QStringLiteral("\\d+\\.\\d+\\.\\d+\\.\\d+");
    const QList<QRegularExpression> expected{
        QRegularExpression(QStringLiteral("^window Velmora V2\\.2$")),
        // main() makes the five dialogs up front, as children of the main window.
        QRegularExpression(QStringLiteral("^dialogs frmNewClientSock frmNewGroupSock frmNewServerSock frmNewUDPServer frmNewUdpSock$")),
        QRegularExpression(QStringLiteral("^tree TCP Server,TCP Client,UDP Server,UDP Client,UDP Group$")),
        QRegularExpression(QStringLiteral("^files raised$")),
        QRegularExpression(QStringLiteral("^button Button1 创建$")),
        QRegularExpression(QStringLiteral("^button Button2 删除$")),
        QRegularExpression(QStringLiteral("^button Button8 退出$")),
        QRegularExpression(QStringLiteral("^dialog frmNewServerSock 创建Socket服务器$")),
        QRegularExpression(QStringLiteral("^edit 60000$")),
        QRegularExpression(QStringLiteral("^typed 0$")),
        QRegularExpression(QStringLiteral("^ok 确定$")),
        QRegularExpression(QStringLiteral("^node %1\\[0\\]$").arg(address)),
        QRegularExpression(QStringLiteral("^dialog frmNewServerSock 创建Socket服务器$")),
        // The dialog keeps what was typed last time.
        QRegularExpression(QStringLiteral("^edit 0$")),
        QRegularExpression(QStringLiteral("^typed %1$").arg(taken.port)),
        QRegularExpression(QStringLiteral("^ok 确定$")),
        QRegularExpression(QStringLiteral("^box 该端口已被占用,监听未启动!$")),
        // The standard box speaks the toolkit's simplified Chinese.
        QRegularExpression(QStringLiteral("^box-button &?确定(\\(&O\\))?$")),
        QRegularExpression(QStringLiteral("^node %1\\[%2\\]$").arg(address).arg(taken.port)),
        QRegularExpression(QStringLiteral("^exit 退出$")),
        QRegularExpression(QStringLiteral("^driver end$")),
    };
    ASSERT_EQ(lines.size(), expected.size()) << seen;
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(expected[i].match(lines[i]).hasMatch()) << "line " << i << ": " << lines[i].toStdString() << "\n" << seen;
}

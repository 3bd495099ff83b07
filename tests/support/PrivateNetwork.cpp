#include "PrivateNetwork.h"

#include <gtest/gtest.h>

// Qt
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

namespace testing_support {

namespace {

const char *const markerVariable = "VELMORA_PRIVATE_NETWORK";

QString namespacesUnavailable()
{
    static const QString reason = [] {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("ip"), QStringLiteral("link")});
        if (!probe.waitForFinished(10000)) {
            probe.kill();
            probe.waitForFinished();
            return QStringLiteral("unshare -n or ip did not run (util-linux, iproute2)");
        }
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return QStringLiteral("no private network namespace here (needs root): ") +
                   QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
        return QString();
    }();
    return reason;
}

} // namespace

bool InPrivateNetwork()
{
    return qEnvironmentVariableIsSet(markerVariable);
}

PrivateNetworkRun RunCurrentTestInPrivateNetwork(int timeoutMs)
{
    PrivateNetworkRun run;
    run.reason = namespacesUnavailable();
    if (!run.reason.isEmpty())
        return run;
    run.available = true;

    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("--gtest_filter=%1.%2")
                               .arg(QString::fromLatin1(info->test_suite_name()), QString::fromLatin1(info->name()));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(markerVariable), QStringLiteral("1"));
    // The inner run must not write the outer run's report or take part in its sharding.
    for (const char *v : {"GTEST_OUTPUT", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS", "GTEST_SHARD_STATUS_FILE"})
        env.remove(QString::fromLatin1(v));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("ip link set lo up && exec \"$0\" \"$1\""),
                 QCoreApplication::applicationFilePath(), filter});
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        run.output = QStringLiteral("the run in the private network did not finish\n");
    }
    run.output += QString::fromLocal8Bit(child.readAll());
    run.passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                 run.output.contains(QLatin1String("[  PASSED  ] 1 test"));
    return run;
}

bool Ip(const QString &arguments)
{
    QProcess ip;
    ip.setProcessChannelMode(QProcess::MergedChannels);
    ip.start(QStringLiteral("ip"), arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    const bool finished = ip.waitForFinished(10000);
    if (finished && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0)
        return true;
    ADD_FAILURE() << "ip " << arguments.toStdString() << ": " << QString::fromLocal8Bit(ip.readAll()).toStdString();
    return false;
}

bool RouteMulticastToLoopback()
{
    if (!InPrivateNetwork()) {
        ADD_FAILURE() << "multicast is routed to loopback only inside a private network";
        return false;
    }
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("-o"), QStringLiteral("link"), QStringLiteral("show")});
    if (!ip.waitForFinished(10000)) {
        ADD_FAILURE() << "ip -o link show did not finish";
        return false;
    }
    const QStringList links = QString::fromLocal8Bit(ip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (links.size() != 1 || !links[0].contains(QLatin1String(": lo:"))) {
        ADD_FAILURE() << "more than loopback here: " << links.join(QLatin1Char('\n')).toStdString();
        return false;
    }
    return Ip(QStringLiteral("route add 224.0.0.0/4 dev lo"));
}

} // namespace testing_support

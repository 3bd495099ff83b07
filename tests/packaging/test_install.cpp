// The program installed as a desktop sees it: `cmake --install` into a temporary prefix, the
// desktop entry and the metainfo through their own validators, the entry's icon in every size
// of the icon theme, and the Debian package made from the same rules: the files it holds, and
// the Depends dpkg-shlibdeps computed from the linked libraries.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

const QString appId = QStringLiteral(VELMORA_APP_ID);

struct Outcome {
    int exitCode = -1;
    QString output; // standard output and error, interleaved
};

Outcome run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
        return {-1, program + QStringLiteral(" did not finish")};
    }
    const QString output = QString::fromUtf8(process.readAll());
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, output};
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The text of the first element of that name, or of its attribute when one is named.
QString xmlValue(const QString &path, const QString &element, const QString &attribute = QString())
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QXmlStreamReader xml(&file);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            return attribute.isEmpty() ? xml.readElementText() : xml.attributes().value(attribute).toString();
    return QString();
}

// The value of a key of the desktop entry's main group.
QString entryValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString prefix = key + QLatin1Char('=');
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return QString();
}

class Installed : public ::testing::Test {
protected:
    // One install and one package for every case: each takes a few seconds. Under ctest they are
    // made once for all the cases, by the fixture tests/packaging/PrepareInstall.cmake, in the
    // folder VELMORA_INSTALLED names; run alone, the executable makes its own.
    static void SetUpTestSuite()
    {
        const QString made = qEnvironmentVariable("VELMORA_INSTALLED");
        if (!made.isEmpty()) {
            prefixPath = made + QStringLiteral("/prefix");
            packagesPath = made + QStringLiteral("/packages");
            installRun = recorded(made + QStringLiteral("/install"));
            packageRun = recorded(made + QStringLiteral("/package"));
        } else {
            prefix = std::make_unique<QTemporaryDir>();
            packages = std::make_unique<QTemporaryDir>();
            prefixPath = prefix->path();
            packagesPath = packages->path();
            const QString build = QStringLiteral(VELMORA_BUILD_DIR);
            installRun = run(QStringLiteral(VELMORA_CMAKE), {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefixPath});
            packageRun = run(QStringLiteral(VELMORA_CPACK), {QStringLiteral("--config"), build + QStringLiteral("/CPackConfig.cmake"),
                                                              QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), packagesPath});
        }
        const QStringList debs = QDir(packagesPath).entryList({QStringLiteral("*.deb")}, QDir::Files);
        deb = debs.size() == 1 ? QDir(packagesPath).filePath(debs.first()) : QString();
    }
    static void TearDownTestSuite()
    {
        prefix.reset();
        packages.reset();
    }

    // The exit code and output the fixture wrote down for one of its commands.
    static Outcome recorded(const QString &stem)
    {
        QFile code(stem + QStringLiteral(".code"));
        QFile output(stem + QStringLiteral(".log"));
        if (!code.open(QIODevice::ReadOnly) || !output.open(QIODevice::ReadOnly))
            return {-1, stem + QStringLiteral(": not made by the fixture")};
        bool ok = false;
        const int exitCode = code.readAll().trimmed().toInt(&ok);
        return {ok ? exitCode : -1, QString::fromUtf8(output.readAll())};
    }

    void SetUp() override
    {
        ASSERT_EQ(installRun.exitCode, 0) << installRun.output.toStdString();
    }

    static QString installed(const QString &relative) { return QDir(prefixPath).filePath(relative); }
    static QString field(const QString &name)
    {
        return run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, name}).output.trimmed();
    }

    static inline std::unique_ptr<QTemporaryDir> prefix, packages;
    static inline QString prefixPath, packagesPath;
    static inline Outcome installRun, packageRun;
    static inline QString deb;
};

} // namespace

TEST_F(Installed, DesktopEntryPassesItsValidator)
{
    const Outcome check = run(QStringLiteral("desktop-file-validate"), {installed(QStringLiteral("share/applications/%1.desktop").arg(appId))});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    // Warnings leave the exit code alone: none are wanted either. A hint stays: the program
    // belongs in two main categories, Network and Development, and so shows in both menus.
    EXPECT_FALSE(check.output.contains(QStringLiteral("warning:"))) << check.output.toStdString();
}

TEST_F(Installed, MetainfoPassesItsValidator)
{
    const QString metainfo = installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId));
    const Outcome check = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
}

TEST_F(Installed, EntryIconProgramAndMetainfoFitTogether)
{
    const QString entry = installed(QStringLiteral("share/applications/%1.desktop").arg(appId));
    const QString icon = entryValue(entry, QStringLiteral("Icon"));
    ASSERT_FALSE(icon.isEmpty());
    const QFileInfo program(installed(QStringLiteral("bin/") + entryValue(entry, QStringLiteral("Exec"))));
    EXPECT_TRUE(program.isFile() && program.isExecutable()) << program.filePath().toStdString();

    // The theme finds the icon by its folder's size: each picture must be that size, see-through
    // in its corners and solid in its middle.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage picture(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon)), "PNG");
        ASSERT_EQ(picture.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(picture.pixel(size - 1, size - 1)), 0);
        EXPECT_EQ(qAlpha(picture.pixel(size / 2, size / 2)), 255);
    }
    const QString svg = installed(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon));
    EXPECT_EQ(xmlValue(svg, QStringLiteral("svg"), QStringLiteral("viewBox")), QStringLiteral("0 0 256 256"));

    // Software centres join the metainfo to the entry by its file name, and show its licence.
    const QString metainfo = installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId));
    EXPECT_EQ(xmlValue(metainfo, QStringLiteral("launchable")), appId + QStringLiteral(".desktop"));
    EXPECT_EQ(xmlValue(metainfo, QStringLiteral("release"), QStringLiteral("version")), QStringLiteral(VELMORA_VERSION));
    EXPECT_EQ(xmlValue(metainfo, QStringLiteral("project_license")), QStringLiteral("MIT"));
    QFile licence(installed(QStringLiteral("share/doc/velmora/copyright")));
    ASSERT_TRUE(licence.open(QIODevice::ReadOnly));
    EXPECT_TRUE(licence.readLine().startsWith("MIT License"));
}

TEST_F(Installed, PackageHoldsTheInstalledFilesAndDependsOnTheLinkedLibraries)
{
    ASSERT_EQ(packageRun.exitCode, 0) << packageRun.output.toStdString();
    ASSERT_FALSE(deb.isEmpty()) << packageRun.output.toStdString();
    EXPECT_TRUE(QFileInfo(deb).fileName().startsWith(QStringLiteral("velmora_%1_").arg(QStringLiteral(VELMORA_VERSION))));

    const QStringList expected{
        QStringLiteral("bin/velmora"),
        QStringLiteral("share/applications/%1.desktop").arg(appId),
        QStringLiteral("share/doc/velmora/README.md"),
        QStringLiteral("share/doc/velmora/changelog.gz"),
        QStringLiteral("share/doc/velmora/copyright"),
        QStringLiteral("share/icons/hicolor/128x128/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/16x16/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/24x24/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/256x256/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/32x32/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/64x64/apps/%1.png").arg(appId),
        QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(appId),
        QStringLiteral("share/man/man1/velmora.1.gz"),
        QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId),
    };
    EXPECT_EQ(filesBelow(prefixPath), expected);

    // Regular files only (lines starting "-"), as "./usr/..." in the data archive.
    const Outcome list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
    ASSERT_EQ(list.exitCode, 0) << list.output.toStdString();
    QStringList packaged;
    for (const QString &line : list.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.startsWith(QLatin1Char('-')))
            packaged << line.section(QLatin1Char(' '), -1).remove(0, int(sizeof("./usr/") - 1));
    packaged.sort();
    EXPECT_EQ(packaged, expected);

    EXPECT_EQ(field(QStringLiteral("Package")), QStringLiteral("velmora"));
    EXPECT_EQ(field(QStringLiteral("Version")), QStringLiteral(VELMORA_VERSION));
    EXPECT_EQ(field(QStringLiteral("Section")), QStringLiteral("net"));
    EXPECT_TRUE(field(QStringLiteral("Recommends")).contains(QStringLiteral("fonts-wqy-microhei")));
    // One versioned dependency for each library the program links against.
    const QString depends = field(QStringLiteral("Depends"));
    for (const char *library : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libjpeg62-turbo"})
        EXPECT_TRUE(depends.contains(QStringLiteral("%1 (>= ").arg(QLatin1String(library)))) << library << " in " << depends.toStdString();
}

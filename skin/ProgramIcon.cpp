#include "ProgramIcon.h"

// Qt
#include <QDir>
#include <QIcon>

QIcon ProgramIcon()
{
    // Each picture's size is read from the picture itself, so the list lives only in the build.
    QIcon icon;
    for (const QFileInfo &file : QDir(QStringLiteral(":/icon")).entryInfoList(QDir::Files))
        icon.addFile(file.filePath());
    return icon;
}

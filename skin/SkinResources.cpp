#include "SkinResources.h"

#include <map>

// Qt
#include <QImage>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

namespace {

struct ModuleTable {
    QMutex lock;
    std::map<uint32_t, QString> folders{{ProgramModuleHandle, QStringLiteral(":/skin/")}};
    uint32_t next = ProgramModuleHandle + 0x00010000;
};

ModuleTable &modules()
{
    static ModuleTable table;
    return table;
}

} // namespace

uint32_t RegisterResourceModule(const QString &folder)
{
    ModuleTable &t = modules();
    QMutexLocker locker(&t.lock);
    const uint32_t handle = t.next;
    t.next += 0x00010000;
    t.folders[handle] = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return handle;
}

void LoadPicture(QImage &bitmap, uint32_t module, const QString &name)
{
    QString folder;
    {
        ModuleTable &t = modules();
        QMutexLocker locker(&t.lock);
        const auto it = t.folders.find(module);
        if (it == t.folders.end())
            throw EResNotFound(QStringLiteral("Resource module %1 not found").arg(module, 8, 16, QLatin1Char('0')).toStdString());
        folder = it->second;
    }
    // A resource name is a plain name: it never reaches outside its module's folder.
    const QString resource = name.toUpper();
    const bool plain = !resource.isEmpty() && !resource.contains(QLatin1Char('/')) && !resource.contains(QLatin1Char('\\'));
    QImage picture;
    if (!plain || !picture.load(folder + resource + QStringLiteral(".bmp"), "BMP"))
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name).toStdString());
    bitmap = picture;
}

QImage BlankPicture()
{
    QImage picture(74, 21, QImage::Format_RGB32);
    picture.fill(QColor(240, 240, 240));
    const QRgb frame = qRgb(160, 160, 160);
    for (int x = 0; x < picture.width(); ++x) {
        picture.setPixel(x, 0, frame);
        picture.setPixel(x, picture.height() - 1, frame);
    }
    for (int y = 0; y < picture.height(); ++y) {
        picture.setPixel(0, y, frame);
        picture.setPixel(picture.width() - 1, y, frame);
    }
    return picture;
}

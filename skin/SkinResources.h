#pragma once
// Where skin pictures come from: bitmap resources of a module, loaded by name.
// A module is a 32-bit handle. The program's own module (its embedded resources under
// ":/skin/") has a fixed non-zero handle; the ResHandle properties of the controls show it as 0.
// Further modules can be registered: a folder or resource prefix holding <NAME>.bmp files.

#include <cstdint>
#include <stdexcept>

class QImage;
class QString;

constexpr uint32_t ProgramModuleHandle = 0x00400000;

// ResHandle 0 stands for the program's own module, and the program's own module reads as 0.
constexpr uint32_t ModuleFromResHandle(uint32_t resHandle)
{
    return resHandle == 0 ? ProgramModuleHandle : resHandle;
}
constexpr uint32_t ResHandleFromModule(uint32_t module)
{
    return module == ProgramModuleHandle ? 0 : module;
}

// Registers a folder (or resource prefix) as a module and returns its handle.
uint32_t RegisterResourceModule(const QString &folder);

// The module has no bitmap resource of that name (the empty name included), or it is unreadable.
class EResNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces the bitmap's content with the named bitmap resource of the module (names are
// case-insensitive, as resource names are). Throws EResNotFound; the bitmap is then unchanged.
void LoadPicture(QImage &bitmap, uint32_t module, const QString &name);

// What a control draws when its picture cannot be loaded: 74 x 21, a light face in a grey frame.
QImage BlankPicture();

#pragma once
// Small owning objects of the operating-system layer: holders for loaded
// modules and icons, and the full path of a loaded module.

#include "SmartPointer.h"
#include "StringW.h"

namespace Quenzal::Os {

struct ModuleDestructor {
    static bool IsValid(HMODULE module) { return module != nullptr; }
    static void Destroy(HMODULE module) { ::FreeLibrary(module); }
};

struct IconDestructor {
    static bool IsValid(HICON icon) { return icon != nullptr; }
    static void Destroy(HICON icon) { ::DestroyIcon(icon); }
};

using CModule = SmartPointer<HMODULE, ModuleDestructor>;
using CIcon = SmartPointer<HICON, IconDestructor>;

// The full path of a module of this process, read when the object is made.
// An empty name means the executable of the process (the host application).
class ModulePath {
public:
    explicit ModulePath(const wchar_t* moduleName);
    const StringW& GetPath() const { return m_path; }
    operator const StringW&() const { return m_path; }

private:
    StringW m_path;
};

// The path of a loaded module by GetModuleFileNameW, however long it is.
// Returns false (with the thread's last error set) when the call fails.
bool TryGetModuleFileName(HMODULE module, StringW& path);

} // namespace Quenzal::Os

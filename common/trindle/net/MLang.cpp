#include "MLang.h"

#include "Modules.h"

#include <mutex>

namespace Quenzal::Os {

const MLangLibrary& GetMLangLibrary()
{
    static MLangLibrary library;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        library.module = TryLoadSystemModule(L"MLANG.DLL").Detach();
        if (library.module == nullptr)
            return;
        library.convertINetMultiByteToUnicode = reinterpret_cast<ConvertINetMultiByteToUnicodeFn>(
            reinterpret_cast<void*>(::GetProcAddress(library.module, "ConvertINetMultiByteToUnicode")));
        library.convertINetUnicodeToMultiByte = reinterpret_cast<ConvertINetUnicodeToMultiByteFn>(
            reinterpret_cast<void*>(::GetProcAddress(library.module, "ConvertINetUnicodeToMultiByte")));
    });
    return library;
}

} // namespace Quenzal::Os

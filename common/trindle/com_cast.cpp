#include "com_cast.h"

#include "Logging.h"

namespace Quenzal {

void __stdcall ThrowAtlComException(HRESULT hr, IErrorInfo*)
{
    CComError error(hr);
    Logging::Log(Logging::Exception, (L"Throwing ATL COM exception: " + error.GetDescription()).c_str());
    throw error;
}

} // namespace Quenzal

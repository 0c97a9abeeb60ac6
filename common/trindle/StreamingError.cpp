#include "StreamingError.h"

namespace Quenzal {

CStreamingError::CStreamingError(const std::wstring& text) : CException(text) {}

CStreamReadingError::CStreamReadingError(const std::wstring& text) : CStreamingError(text) {}

CStreamWritingError::CStreamWritingError(const std::wstring& text) : CStreamingError(text) {}

} // namespace Quenzal

#pragma once
// Reading a COM IStream whole (message-header streams, for instance).

#include <objidl.h>

#include <cstdint>
#include <string>

namespace Quenzal {

// Moves the stream to its start.
void SetStreamPosition(IStream* stream);
// All bytes of the stream, from its start.
std::string GetStreamContents(IStream* stream);
// Up to length bytes from the stream's start; fewer when the stream ends early.
std::string ReadFromStream(IStream* stream, uint64_t length);

} // namespace Quenzal

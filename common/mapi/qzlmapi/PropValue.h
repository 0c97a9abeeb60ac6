#pragma once
// MAPI property values read as the program's own variant type.

#include "StringW.h"
#include "Value.h"

#include "MapiHeaders.h"

namespace Quenzal::Mapi {

// By property type; a type without a mapping (multi-valued types among them)
// logs "Unrecognized property type" and gives the null value. PT_SYSTIME
// becomes local wall-clock time.
Value ConvertPropValue(ULONG propertyType, const _PV& value);
// The null value for a null pointer.
Value PropValueToValue(const SPropValue* value);
// The value converted in place to wide text, and copied.
StringW ValueToStringW(Value& value);

} // namespace Quenzal::Mapi

#include "PropValue.h"

#include "Logging.h"

namespace Quenzal::Mapi {
namespace {

DateTime LocalTimeFromFileTime(const FILETIME& utc)
{
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    DateTime result;
    if (::FileTimeToSystemTime(&utc, &universal) && ::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        result.SetDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                           local.wMilliseconds);
    return result;
}

} // namespace

Value ConvertPropValue(ULONG propertyType, const _PV& value)
{
    Value result;
    switch (propertyType) {
    case PT_I2:
        result.SetInt16(value.i);
        break;
    case PT_LONG:
        result.SetInt32(value.l);
        break;
    case PT_R4:
        result.SetFloat(value.flt);
        break;
    case PT_DOUBLE:
        result.SetDouble(value.dbl);
        break;
    case PT_APPTIME:
        result.MakeDateTime() = DateTime(value.at);
        break;
    case PT_ERROR:
        break;
    case PT_BOOLEAN:
        result.SetUInt16(value.b);
        break;
    case PT_I8:
        result.SetInt64(value.li.QuadPart);
        break;
    case PT_STRING8:
        result = Value(std::string(value.lpszA != nullptr ? value.lpszA : ""));
        break;
    case PT_UNICODE:
        result = Value(std::wstring(value.lpszW != nullptr ? value.lpszW : L""));
        break;
    case PT_SYSTIME:
        result.MakeDateTime() = LocalTimeFromFileTime(value.ft);
        break;
    case PT_CLSID:
        result.MakeGuid() = value.lpguid != nullptr ? *value.lpguid : GUID{};
        break;
    case PT_BINARY:
        result = Value::FromBinary(value.bin.lpb != nullptr && value.bin.cb != 0
                                       ? std::string(reinterpret_cast<const char*>(value.bin.lpb), value.bin.cb)
                                       : std::string());
        break;
    default:
        Logging::Log(Logging::Error, L"Unrecognized property type");
        break;
    }
    return result;
}

Value PropValueToValue(const SPropValue* value)
{
    return value != nullptr ? ConvertPropValue(PROP_TYPE(value->ulPropTag), value->Value) : Value();
}

StringW ValueToStringW(Value& value)
{
    return StringW(value.MakeStringW());
}

} // namespace Quenzal::Mapi

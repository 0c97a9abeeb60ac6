#include "Value.h"

#include "ErrorReport.h"
#include "Guid.h"

#include <boost/lexical_cast.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace Quenzal {

namespace {

// Truncation toward zero that saturates at the bounds of T (NaN gives 0).
template <class T>
T ClampToInteger(double value)
{
    if (std::isnan(value))
        return 0;
    value = std::trunc(value);
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double aboveHigh = std::ldexp(1.0, std::numeric_limits<T>::digits);
    if (value <= low)
        return std::numeric_limits<T>::min();
    if (value >= aboveHigh)
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

template <class T>
T FloatingTo(double value)
{
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(value);
    } else if constexpr (sizeof(T) == 2) {
        // A 16-bit result keeps the low bits of the wider integer.
        return static_cast<T>(ClampToInteger<int64_t>(value));
    } else {
        return ClampToInteger<T>(value);
    }
}

template <class T, class Text>
T LexicalOrZero(const Text& text)
{
    try {
        return boost::lexical_cast<T>(text);
    } catch (...) {
        return T();
    }
}

template <class Text, class T>
Text LexicalOrEmpty(const T& number)
{
    try {
        return boost::lexical_cast<Text>(number);
    } catch (...) {
        return Text();
    }
}

template <class T>
std::string BytesOf(const T& number)
{
    return std::string(reinterpret_cast<const char*>(&number), sizeof(T));
}

int32_t Sign(int difference)
{
    return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

template <class T>
int32_t ThreeWay(T left, T right)
{
    return left < right ? -1 : left > right ? 1 : 0;
}

} // namespace

Value::Value(int64_t number) : m_kind(KindInt64)
{
    m_payload.int64 = number;
}

Value::Value(std::string&& text) : m_kind(KindStringA)
{
    new (&m_payload.narrow) std::string(std::move(text));
}

Value::Value(const std::wstring& text) : m_kind(KindStringW)
{
    new (&m_payload.wide) std::wstring(text);
}

Value::Value(std::wstring&& text) : m_kind(KindStringW)
{
    new (&m_payload.wide) std::wstring(std::move(text));
}

Value Value::FromBinary(std::string&& bytes)
{
    Value value;
    new (&value.m_payload.bytes) std::string(std::move(bytes));
    value.m_kind = KindBinary;
    return value;
}

Value::Value(const Value& other)
{
    CopyFrom(other);
}

Value::Value(Value&& other) noexcept
{
    MoveFrom(other);
}

Value& Value::operator=(const Value& other)
{
    if (this != &other) {
        Value copy(other);
        Clear();
        MoveFrom(copy);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept
{
    if (this != &other) {
        Clear();
        MoveFrom(other);
    }
    return *this;
}

Value::~Value()
{
    Clear();
}

void Value::CopyFrom(const Value& other)
{
    switch (other.m_kind) {
    case KindStringA:
        new (&m_payload.narrow) std::string(other.m_payload.narrow);
        break;
    case KindStringW:
        new (&m_payload.wide) std::wstring(other.m_payload.wide);
        break;
    case KindBinary:
        new (&m_payload.bytes) std::string(other.m_payload.bytes);
        break;
    case KindDateTime:
        new (&m_payload.date) DateTime(other.m_payload.date);
        break;
    default:
        memcpy(static_cast<void*>(&m_payload), &other.m_payload, sizeof(m_payload));
        break;
    }
    m_kind = other.m_kind;
}

void Value::MoveFrom(Value& other)
{
    switch (other.m_kind) {
    case KindStringA:
        new (&m_payload.narrow) std::string(std::move(other.m_payload.narrow));
        break;
    case KindStringW:
        new (&m_payload.wide) std::wstring(std::move(other.m_payload.wide));
        break;
    case KindBinary:
        new (&m_payload.bytes) std::string(std::move(other.m_payload.bytes));
        break;
    case KindDateTime:
        new (&m_payload.date) DateTime(other.m_payload.date);
        break;
    default:
        memcpy(static_cast<void*>(&m_payload), &other.m_payload, sizeof(m_payload));
        break;
    }
    m_kind = other.m_kind;
    other.Clear();
}

void Value::Clear()
{
    switch (m_kind) {
    case KindStringA:
        m_payload.narrow.~basic_string();
        break;
    case KindStringW:
        m_payload.wide.~basic_string();
        break;
    case KindBinary:
        m_payload.bytes.~basic_string();
        break;
    default:
        break;
    }
    m_kind = KindNull;
}

void Value::SetInt16(int16_t number)
{
    Clear();
    m_payload.int16 = number;
    m_kind = KindInt16;
}

void Value::SetUInt16(uint16_t number)
{
    Clear();
    m_payload.uint16 = number;
    m_kind = KindUInt16;
}

void Value::SetInt32(int32_t number)
{
    Clear();
    m_payload.int32 = number;
    m_kind = KindInt32;
}

void Value::SetUInt32(uint32_t number)
{
    Clear();
    m_payload.uint32 = number;
    m_kind = KindUInt32;
}

void Value::SetInt64(int64_t number)
{
    Clear();
    m_payload.int64 = number;
    m_kind = KindInt64;
}

void Value::SetUInt64(uint64_t number)
{
    Clear();
    m_payload.uint64 = number;
    m_kind = KindUInt64;
}

void Value::SetFloat(float number)
{
    Clear();
    m_payload.floating = number;
    m_kind = KindFloat;
}

void Value::SetDouble(double number)
{
    Clear();
    m_payload.doubleFloating = number;
    m_kind = KindDouble;
}

template <class T>
T Value::GetNumber() const
{
    switch (m_kind) {
    case KindInt16:
        return static_cast<T>(m_payload.int16);
    case KindUInt16:
        return static_cast<T>(m_payload.uint16);
    case KindInt32:
        return static_cast<T>(m_payload.int32);
    case KindUInt32:
        return static_cast<T>(m_payload.uint32);
    case KindInt64:
        return static_cast<T>(m_payload.int64);
    case KindUInt64:
        return static_cast<T>(m_payload.uint64);
    case KindFloat:
        return FloatingTo<T>(m_payload.floating);
    case KindDouble:
        return FloatingTo<T>(m_payload.doubleFloating);
    case KindStringA:
        return LexicalOrZero<T>(m_payload.narrow);
    case KindStringW:
        return LexicalOrZero<T>(m_payload.wide);
    case KindDateTime:
        if constexpr (std::is_floating_point_v<T>)
            return static_cast<T>(m_payload.date.GetDate());
        return 0;
    default:
        return 0;
    }
}

int16_t Value::GetInt16() const
{
    return GetNumber<int16_t>();
}

uint16_t Value::GetUInt16() const
{
    return GetNumber<uint16_t>();
}

int32_t Value::GetInt32() const
{
    return GetNumber<int32_t>();
}

uint32_t Value::GetUInt32() const
{
    return GetNumber<uint32_t>();
}

int64_t Value::GetInt64() const
{
    return GetNumber<int64_t>();
}

uint64_t Value::GetUInt64() const
{
    return GetNumber<uint64_t>();
}

float Value::GetFloat() const
{
    return GetNumber<float>();
}

double Value::GetDouble() const
{
    return GetNumber<double>();
}

std::string Value::GetStringA() const
{
    switch (m_kind) {
    case KindInt16:
        return LexicalOrEmpty<std::string>(m_payload.int16);
    case KindUInt16:
        return LexicalOrEmpty<std::string>(m_payload.uint16);
    case KindInt32:
        return LexicalOrEmpty<std::string>(m_payload.int32);
    case KindUInt32:
        return LexicalOrEmpty<std::string>(m_payload.uint32);
    case KindInt64:
        return LexicalOrEmpty<std::string>(m_payload.int64);
    case KindUInt64:
        return LexicalOrEmpty<std::string>(m_payload.uint64);
    case KindFloat:
        return LexicalOrEmpty<std::string>(m_payload.floating);
    case KindDouble:
        return LexicalOrEmpty<std::string>(m_payload.doubleFloating);
    case KindStringA:
        return m_payload.narrow;
    case KindStringW:
        return StringW(m_payload.wide).ToAnsi();
    case KindBinary:
        return BinaryToString(m_payload.bytes);
    case KindGuid:
        return Guid::ToHexString(m_payload.guid, true);
    case KindDateTime:
        return m_payload.date.ToString(false).ToAnsi();
    default:
        return std::string();
    }
}

std::wstring Value::GetStringW() const
{
    switch (m_kind) {
    case KindInt16:
        return LexicalOrEmpty<std::wstring>(m_payload.int16);
    case KindUInt16:
        return LexicalOrEmpty<std::wstring>(m_payload.uint16);
    case KindInt32:
        return LexicalOrEmpty<std::wstring>(m_payload.int32);
    case KindUInt32:
        return LexicalOrEmpty<std::wstring>(m_payload.uint32);
    case KindInt64:
        return LexicalOrEmpty<std::wstring>(m_payload.int64);
    case KindUInt64:
        return LexicalOrEmpty<std::wstring>(m_payload.uint64);
    case KindFloat:
        return LexicalOrEmpty<std::wstring>(m_payload.floating);
    case KindDouble:
        return LexicalOrEmpty<std::wstring>(m_payload.doubleFloating);
    case KindStringA:
        return StringW(m_payload.narrow);
    case KindStringW:
        return m_payload.wide;
    case KindBinary:
        if (m_payload.bytes.size() % 2 != 0)
            return std::wstring();
        return StringW(Quenzal::FromBinary, m_payload.bytes);
    case KindGuid:
        return StringW(Guid::ToHexString(m_payload.guid, true));
    case KindDateTime:
        return m_payload.date.ToString(false);
    default:
        return std::wstring();
    }
}

std::string Value::GetBinary() const
{
    switch (m_kind) {
    case KindInt16:
        return BytesOf(m_payload.int16);
    case KindUInt16:
        return BytesOf(m_payload.uint16);
    case KindInt32:
        return BytesOf(m_payload.int32);
    case KindUInt32:
        return BytesOf(m_payload.uint32);
    case KindInt64:
        return BytesOf(m_payload.int64);
    case KindUInt64:
        return BytesOf(m_payload.uint64);
    case KindFloat:
        return BytesOf(m_payload.floating);
    case KindDouble:
        return BytesOf(m_payload.doubleFloating);
    case KindStringA:
        return m_payload.narrow;
    case KindStringW:
        return std::string(reinterpret_cast<const char*>(m_payload.wide.data()),
                           m_payload.wide.size() * sizeof(wchar_t));
    case KindBinary:
        return m_payload.bytes;
    case KindGuid:
        return BytesOf(m_payload.guid);
    case KindDateTime:
        return BytesOf(m_payload.date.GetDate());
    default:
        return std::string();
    }
}

GUID Value::GetGuid() const
{
    GUID guid{};
    switch (m_kind) {
    case KindStringA:
        Guid::Parse(StringW(m_payload.narrow), guid);
        break;
    case KindStringW:
        Guid::Parse(m_payload.wide, guid);
        break;
    case KindGuid:
        guid = m_payload.guid;
        break;
    default:
        break;
    }
    return guid;
}

std::string& Value::MakeStringA()
{
    if (m_kind != KindStringA) {
        std::string converted = m_kind == KindNull ? std::string() : GetStringA();
        Clear();
        new (&m_payload.narrow) std::string(std::move(converted));
        m_kind = KindStringA;
    }
    return m_payload.narrow;
}

std::wstring& Value::MakeStringW()
{
    if (m_kind != KindStringW) {
        std::wstring converted = m_kind == KindNull ? std::wstring() : GetStringW();
        Clear();
        new (&m_payload.wide) std::wstring(std::move(converted));
        m_kind = KindStringW;
    }
    return m_payload.wide;
}

std::string& Value::MakeBinary()
{
    if (m_kind != KindBinary) {
        std::string converted = m_kind == KindNull ? std::string() : GetBinary();
        Clear();
        new (&m_payload.bytes) std::string(std::move(converted));
        m_kind = KindBinary;
    }
    return m_payload.bytes;
}

GUID& Value::MakeGuid()
{
    if (m_kind != KindGuid) {
        GUID converted = m_kind == KindNull ? GUID{} : GetGuid();
        Clear();
        m_payload.guid = converted;
        m_kind = KindGuid;
    }
    return m_payload.guid;
}

DateTime& Value::MakeDateTime()
{
    if (m_kind != KindDateTime) {
        Clear();
        new (&m_payload.date) DateTime();
        m_kind = KindDateTime;
    }
    return m_payload.date;
}

int32_t Value::Compare(const Value& other) const
{
    if (m_kind == KindNull)
        return other.m_kind == KindNull ? 0 : -1;
    if (other.m_kind == KindNull)
        return 1;
    switch (other.m_kind) {
    case KindInt16:
        return static_cast<int32_t>(GetInt16()) - static_cast<int32_t>(other.m_payload.int16);
    case KindUInt16:
        return static_cast<int32_t>(GetUInt16()) - static_cast<int32_t>(other.m_payload.uint16);
    case KindInt32:
        return static_cast<int32_t>(static_cast<uint32_t>(GetInt32()) - static_cast<uint32_t>(other.m_payload.int32));
    case KindUInt32:
        return static_cast<int32_t>(GetUInt32() - other.m_payload.uint32);
    case KindInt64:
        // The whole values: the low 32 bits of the difference are 0 for values 2^32 apart.
        return ThreeWay(GetInt64(), other.m_payload.int64);
    case KindUInt64:
        return ThreeWay(GetUInt64(), other.m_payload.uint64);
    case KindFloat:
        return ClampToInteger<int32_t>(static_cast<double>(GetFloat() - other.m_payload.floating));
    case KindDouble:
        return ClampToInteger<int32_t>(GetDouble() - other.m_payload.doubleFloating);
    case KindStringA:
        return Sign(strcmp(GetStringA().c_str(), other.m_payload.narrow.c_str()));
    case KindStringW:
        return Sign(wcscmp(GetStringW().c_str(), other.m_payload.wide.c_str()));
    case KindBinary:
        return CompareBinary(GetBinary(), other.m_payload.bytes);
    case KindGuid: {
        GUID guid = GetGuid();
        return memcmp(&guid, &other.m_payload.guid, sizeof(GUID));
    }
    case KindDateTime: {
        double a = m_kind == KindDateTime ? m_payload.date.GetDate() : 0.0;
        double b = other.m_payload.date.GetDate();
        int32_t d = ClampToInteger<int32_t>(a - b);
        if (d != 0)
            return d;
        return a == b ? 0 : a > b ? 1 : -1;
    }
    default:
        return 0;
    }
}

int32_t Value::CompareNoCase(const Value& other) const
{
    if (m_kind == KindNull)
        return other.m_kind == KindNull ? 0 : -1;
    if (other.m_kind == KindNull)
        return 1;
    if (other.m_kind == KindStringA)
        return _stricmp(GetStringA().c_str(), other.m_payload.narrow.c_str());
    if (other.m_kind == KindStringW)
        return _wcsicmp(GetStringW().c_str(), other.m_payload.wide.c_str());
    return Compare(other);
}

bool Value::IsValueNull() const
{
    switch (m_kind) {
    case KindNull:
        return true;
    case KindInt16:
    case KindUInt16:
    case KindInt32:
    case KindUInt32:
    case KindInt64:
    case KindUInt64:
    case KindFloat:
    case KindDouble:
        return false;
    case KindStringA:
        return m_payload.narrow.empty();
    case KindStringW:
        return m_payload.wide.empty();
    case KindBinary:
        return m_payload.bytes.empty();
    case KindGuid: {
        static const GUID zero{};
        return memcmp(&m_payload.guid, &zero, sizeof(GUID)) == 0;
    }
    case KindDateTime:
        return m_payload.date.GetDate() == 0.0;
    default:
        QZL_THROW(L"Quenzal::Value::IsValueNull", CException(L"Unhandled value type"));
    }
}

int32_t CompareBinary(const std::string& left, const std::string& right)
{
    if (left.size() != right.size())
        return static_cast<int32_t>(left.size() - right.size());
    if (left.empty())
        return 0;
    return memcmp(left.data(), right.data(), left.size());
}

std::string BinaryToString(const std::string& bytes)
{
    return bytes.empty() ? std::string() : std::string(bytes.data(), bytes.size());
}

} // namespace Quenzal

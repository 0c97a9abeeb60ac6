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

template <class T>
T& Value::Emplace(T Payload::*member, Kind kind, T payload)
{
    Clear();
    T* place = &(m_payload.*member);
    new (place) T(std::move(payload));
    m_kind = kind;
    return *place;
}

template <class Result, class Convert>
std::optional<Result> Value::ConvertNumber(Convert convert) const
{
    switch (m_kind) {
    case KindInt16:
        return convert(m_payload.int16);
    case KindUInt16:
        return convert(m_payload.uint16);
    case KindInt32:
        return convert(m_payload.int32);
    case KindUInt32:
        return convert(m_payload.uint32);
    case KindInt64:
        return convert(m_payload.int64);
    case KindUInt64:
        return convert(m_payload.uint64);
    case KindFloat:
        return convert(m_payload.floating);
    case KindDouble:
        return convert(m_payload.doubleFloating);
    default:
        return std::nullopt;
    }
}

Value::Value(int64_t number)
{
    Emplace(&Payload::int64, KindInt64, number);
}

Value::Value(std::string&& text)
{
    Emplace(&Payload::narrow, KindStringA, std::move(text));
}

Value::Value(const std::wstring& text)
{
    Emplace(&Payload::wide, KindStringW, text);
}

Value::Value(std::wstring&& text)
{
    Emplace(&Payload::wide, KindStringW, std::move(text));
}

Value Value::FromBinary(std::string&& bytes)
{
    Value value;
    value.Emplace(&Payload::bytes, KindBinary, std::move(bytes));
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
    Emplace(&Payload::int16, KindInt16, number);
}

void Value::SetUInt16(uint16_t number)
{
    Emplace(&Payload::uint16, KindUInt16, number);
}

void Value::SetInt32(int32_t number)
{
    Emplace(&Payload::int32, KindInt32, number);
}

void Value::SetUInt32(uint32_t number)
{
    Emplace(&Payload::uint32, KindUInt32, number);
}

void Value::SetInt64(int64_t number)
{
    Emplace(&Payload::int64, KindInt64, number);
}

void Value::SetUInt64(uint64_t number)
{
    Emplace(&Payload::uint64, KindUInt64, number);
}

void Value::SetFloat(float number)
{
    Emplace(&Payload::floating, KindFloat, number);
}

void Value::SetDouble(double number)
{
    Emplace(&Payload::doubleFloating, KindDouble, number);
}

template <class T>
T Value::GetNumber() const
{
    const auto number = ConvertNumber<T>([](auto held) -> T {
        if constexpr (std::is_floating_point_v<decltype(held)>)
            return FloatingTo<T>(held);
        else
            return static_cast<T>(held);
    });
    if (number)
        return *number;
    switch (m_kind) {
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
    if (auto text = ConvertNumber<std::string>([](auto held) { return LexicalOrEmpty<std::string>(held); }))
        return *text;
    switch (m_kind) {
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
    if (auto text = ConvertNumber<std::wstring>([](auto held) { return LexicalOrEmpty<std::wstring>(held); }))
        return *text;
    switch (m_kind) {
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
    if (auto bytes = ConvertNumber<std::string>([](const auto& held) { return BytesOf(held); }))
        return *bytes;
    switch (m_kind) {
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
    if (m_kind != KindStringA)
        Emplace(&Payload::narrow, KindStringA, m_kind == KindNull ? std::string() : GetStringA());
    return m_payload.narrow;
}

std::wstring& Value::MakeStringW()
{
    if (m_kind != KindStringW)
        Emplace(&Payload::wide, KindStringW, m_kind == KindNull ? std::wstring() : GetStringW());
    return m_payload.wide;
}

std::string& Value::MakeBinary()
{
    if (m_kind != KindBinary)
        Emplace(&Payload::bytes, KindBinary, m_kind == KindNull ? std::string() : GetBinary());
    return m_payload.bytes;
}

GUID& Value::MakeGuid()
{
    if (m_kind != KindGuid)
        Emplace(&Payload::guid, KindGuid, m_kind == KindNull ? GUID{} : GetGuid());
    return m_payload.guid;
}

DateTime& Value::MakeDateTime()
{
    if (m_kind != KindDateTime)
        Emplace(&Payload::date, KindDateTime, DateTime());
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
        QZL_THROW(QZL_FUNCTION, CException(L"Unhandled value type"));
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

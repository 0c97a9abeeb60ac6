#pragma once
// The one variant type of the program: a kind tag and a payload that is a
// number, a narrow or wide text, a byte string, a GUID or a date. Every value
// can be read as any kind (the Get operations convert) and converted in place
// (the Make operations). A conversion that fails gives zero or the empty text.

#include "DateTime.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

namespace Quenzal {

class Value {
public:
    enum Kind : uint32_t {
        KindNull = 0,
        KindInt16 = 1,
        KindUInt16 = 2,
        KindInt32 = 3,
        KindUInt32 = 4,
        KindInt64 = 5,
        KindUInt64 = 6,
        KindFloat = 7,
        KindDouble = 8,
        KindStringA = 9,
        KindStringW = 10,
        KindBinary = 11,
        KindGuid = 12,
        KindDateTime = 13,
    };

    Value() {}
    Value(int64_t number);
    Value(std::string&& text);
    Value(const std::wstring& text);
    Value(std::wstring&& text);
    // A floating number would silently become an int64 here; use SetDouble.
    template <class T>
        requires std::is_floating_point_v<T>
    Value(T) = delete;
    static Value FromBinary(std::string&& bytes);

    Value(const Value& other);
    Value(Value&& other) noexcept;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    ~Value();

    uint32_t GetKind() const { return m_kind; }

    // Replace the value by a number of that kind.
    void SetInt16(int16_t number);
    void SetUInt16(uint16_t number);
    void SetInt32(int32_t number);
    void SetUInt32(uint32_t number);
    void SetInt64(int64_t number);
    void SetUInt64(uint64_t number);
    void SetFloat(float number);
    void SetDouble(double number);

    int16_t GetInt16() const;
    uint16_t GetUInt16() const;
    int32_t GetInt32() const;
    uint32_t GetUInt32() const;
    int64_t GetInt64() const;
    uint64_t GetUInt64() const;
    float GetFloat() const;
    double GetDouble() const;
    std::string GetStringA() const;
    std::wstring GetStringW() const;
    std::string GetBinary() const;
    // Raises CException when a text is no GUID.
    GUID GetGuid() const;

    // Convert in place and give the payload; a conversion that raises leaves
    // the value as it was.
    std::string& MakeStringA();
    std::wstring& MakeStringW();
    std::string& MakeBinary();
    GUID& MakeGuid();
    // Any other kind becomes the null date.
    DateTime& MakeDateTime();

    // This value read as the other's kind, compared with it: 0 when equal.
    int32_t Compare(const Value& other) const;
    // As Compare, but texts are compared without regard to case.
    int32_t CompareNoCase(const Value& other) const;

    void Clear();
    bool IsValueNull() const;

private:
    template <class T>
    T GetNumber() const;
    void CopyFrom(const Value& other);
    void MoveFrom(Value& other);

    uint32_t m_kind = KindNull;
    union Payload {
        Payload() {}
        ~Payload() {}
        int16_t int16;
        uint16_t uint16;
        int32_t int32;
        uint32_t uint32;
        int64_t int64;
        uint64_t uint64;
        float floating;
        double doubleFloating;
        std::string narrow;
        std::wstring wide;
        std::string bytes;
        GUID guid;
        DateTime date;
    } m_payload;

    // Replaces the value by the payload in that member, of that kind.
    template <class T>
    T& Emplace(T Payload::*member, Kind kind, T payload);
    // The number converted when the value holds a number; nothing otherwise.
    template <class Result, class Convert>
    std::optional<Result> ConvertNumber(Convert convert) const;
};

// Length difference when the lengths differ, else memcmp of the bytes.
int32_t CompareBinary(const std::string& left, const std::string& right);
// The bytes as a std::string (the same bytes; empty for no bytes).
std::string BinaryToString(const std::string& bytes);

} // namespace Quenzal

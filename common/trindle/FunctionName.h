#pragma once
// QZL_FUNCTION: the qualified name of the enclosing function, worked out at
// compile time from GCC's __PRETTY_FUNCTION__, as a wide static string for
// report lines ("Quenzal::Net::CHttpConnection::Connect"). Return type,
// parameters, qualifiers, template arguments, ABI tags and "{anonymous}::" are
// dropped; inside a lambda it names the function the lambda is written in.
// Sites whose report must name another function (a public entry point for a
// helper of its own) keep passing that name by hand.

#include <array>
#include <cstddef>
#include <string_view>

namespace Quenzal::FunctionNameDetail {

// Where the name ends: the parameter list's '(' (past an "operator()").
constexpr size_t FindParameters(std::string_view pretty)
{
    int angles = 0;
    for (size_t i = 0; i < pretty.size(); ++i) {
        if (pretty.substr(i, 8) == "operator" && (i == 0 || pretty[i - 1] == ':' || pretty[i - 1] == ' ')) {
            // The operator's own characters are no brackets.
            i += 8;
            if (pretty.substr(i, 2) == "()")
                i += 2;
            while (i < pretty.size() && pretty[i] != '(')
                ++i;
            return i;
        }
        char ch = pretty[i];
        if (ch == '<')
            ++angles;
        else if (ch == '>')
            --angles;
        else if (ch == '(' && angles == 0)
            return i;
    }
    return pretty.size();
}

// Where the name starts: after the blank that ends the return type.
constexpr size_t FindNameStart(std::string_view pretty, size_t end)
{
    // An operator's characters are no brackets: the scan starts before it.
    const size_t operatorAt = pretty.substr(0, end).rfind("operator");
    if (operatorAt != std::string_view::npos)
        end = operatorAt;
    int angles = 0;
    for (size_t i = end; i > 0; --i) {
        char ch = pretty[i - 1];
        if (ch == '>')
            ++angles;
        else if (ch == '<')
            --angles;
        else if (ch == ' ' && angles == 0)
            return i;
    }
    return 0;
}

// Calls sink with each character of the name that is kept.
template <class Sink>
constexpr void ForEachNameCharacter(std::string_view pretty, Sink sink)
{
    const size_t end = FindParameters(pretty);
    const size_t start = FindNameStart(pretty, end);
    const std::string_view name = pretty.substr(start, end - start);
    constexpr std::string_view anonymous = "{anonymous}::";
    const size_t operatorAt = name.find("operator");
    int angles = 0;
    int squares = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name.substr(i, anonymous.size()) == anonymous) {
            i += anonymous.size() - 1;
            continue;
        }
        char ch = name[i];
        if (i >= operatorAt) {
            sink(ch);
            continue;
        }
        if (ch == '<')
            ++angles;
        else if (ch == '[')
            ++squares;
        else if (ch == '>')
            --angles;
        else if (ch == ']')
            --squares;
        else if (angles == 0 && squares == 0)
            sink(ch);
    }
}

constexpr size_t QualifiedNameLength(std::string_view pretty)
{
    size_t length = 0;
    ForEachNameCharacter(pretty, [&length](char) { ++length; });
    return length;
}

template <size_t Length>
constexpr std::array<wchar_t, Length + 1> QualifiedName(std::string_view pretty)
{
    std::array<wchar_t, Length + 1> text{};
    size_t position = 0;
    ForEachNameCharacter(pretty, [&](char ch) { text[position++] = static_cast<wchar_t>(ch); });
    return text;
}

} // namespace Quenzal::FunctionNameDetail

// A statement expression, so that __PRETTY_FUNCTION__ is the enclosing function's.
#define QZL_FUNCTION                                                                                         \
    ({                                                                                                       \
        static constexpr auto qzlFunctionName =                                                              \
            ::Quenzal::FunctionNameDetail::QualifiedName<                                                    \
                ::Quenzal::FunctionNameDetail::QualifiedNameLength(__PRETTY_FUNCTION__)>(__PRETTY_FUNCTION__); \
        qzlFunctionName.data();                                                                              \
    })

#pragma once
// Sets of narrow SMTP addresses (ANSI code page text, as MAPI hands out
// PT_STRING8 values) in which addresses that differ only in case are one
// entry; the first one inserted keeps its case.

#include <cstddef>
#include <string>
#include <unordered_set>

namespace Quenzal::Mapi {

// FNV-1a 64 over the upper-cased bytes, folded as hash ^ (hash >> 32). Bytes
// from 0x80 up reach toupper as unsigned values: a negative char there is
// undefined behaviour and reads outside the runtime's tables.
struct CaseInsensitiveHash {
    size_t operator()(const std::string& text) const;
};

// Equal when _stricmp finds no difference.
struct CaseInsensitiveEqual {
    bool operator()(const std::string& left, const std::string& right) const;
};

using SmtpAddressSet = std::unordered_set<std::string, CaseInsensitiveHash, CaseInsensitiveEqual>;

} // namespace Quenzal::Mapi

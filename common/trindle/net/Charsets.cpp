#include "Charsets.h"

#include "Logging.h"

#include <map>

namespace Quenzal::Net {

namespace {

struct CodePageRow {
    uint32_t codePage;
    const wchar_t* name;
    uint32_t fallback;
};

struct CharsetNameRow {
    const wchar_t* name;
    uint32_t codePage;
};

// The code page, its preferred charset name and the code page to fall back to.
const CodePageRow kCodePageRows[] = {
    {37, L"ebcdic-cp-us", 1252}, {437, L"IBM437", 1252}, {500, L"IBM500", 1252}, {708, L"ASMO-708", 1256},
    {720, L"DOS-720", 1256}, {737, L"ibm737", 1253}, {775, L"ibm775", 1257}, {850, L"ibm850", 1252},
    {852, L"ibm852", 1250}, {855, L"IBM855", 1251}, {857, L"ibm857", 1254}, {858, L"IBM00858", 1252},
    {860, L"IBM860", 1252}, {861, L"ibm861", 1252}, {862, L"DOS-862", 1255}, {863, L"IBM863", 1252},
    {864, L"IBM864", 1256}, {865, L"IBM865", 1252}, {866, L"cp866", 1251}, {869, L"ibm869", 1253},
    {870, L"CP870", 1250}, {874, L"windows-874", 874}, {875, L"x-EBCDIC-GreekModern", 1253},
    {932, L"shift_jis", 932}, {936, L"gb2312", 936}, {949, L"ks_c_5601-1987", 949}, {950, L"big5", 950},
    {1026, L"CP1026", 1254}, {1047, L"IBM1047", 1252}, {1140, L"x-ebcdic-cp-us-euro", 1252},
    {1141, L"x-ebcdic-germany-euro", 1252}, {1142, L"x-ebcdic-denmarknorway-euro", 1252},
    {1143, L"x-ebcdic-finlandsweden-euro", 1252}, {1144, L"x-ebcdic-italy-euro", 1252},
    {1145, L"x-ebcdic-spain-euro", 1252}, {1146, L"x-ebcdic-uk-euro", 1252}, {1147, L"x-ebcdic-france-euro", 1252},
    {1148, L"x-ebcdic-international-euro", 1252}, {1149, L"x-ebcdic-icelandic-euro", 1252},
    {1200, L"UTF-16LE", 1200}, {1201, L"UTF-16BE", 1200}, {1250, L"windows-1250", 1250},
    {1251, L"windows-1251", 1251}, {1252, L"iso-8859-1", 1252}, {1253, L"windows-1253", 1253},
    {1254, L"iso-8859-9", 1254}, {1255, L"windows-1255", 1255}, {1256, L"windows-1256", 1256},
    {1257, L"windows-1257", 1257}, {1258, L"windows-1258", 1258}, {1361, L"Johab", 1361},
    {10000, L"macintosh", 1252}, {10001, L"x-mac-japanese", 932}, {10002, L"x-mac-chinesetrad", 950},
    {10003, L"x-mac-korean", 949}, {10004, L"x-mac-arabic", 1256}, {10005, L"x-mac-hebrew", 1255},
    {10006, L"x-mac-greek", 1253}, {10007, L"x-mac-cyrillic", 1251}, {10008, L"x-mac-chinesesimp", 936},
    {10010, L"x-mac-romanian", 1251}, {10017, L"x-mac-ukrainian", 1251}, {10021, L"x-mac-thai", 874},
    {10029, L"x-mac-ce", 1250}, {10079, L"x-mac-icelandic", 1252}, {10081, L"x-mac-turkish", 1254},
    {10082, L"x-mac-croatian", 1251}, {12000, L"utf-32", 1200}, {12001, L"utf-32BE", 1200},
    {20000, L"x-Chinese-CNS", 950}, {20001, L"x-cp20001", 950}, {20002, L"x-Chinese-Eten", 950},
    {20003, L"x-cp20003", 950}, {20004, L"x-cp20004", 950}, {20005, L"x-cp20005", 950}, {20105, L"x-IA5", 1252},
    {20106, L"x-IA5-German", 1252}, {20107, L"x-IA5-Swedish", 1252}, {20108, L"x-IA5-Norwegian", 1252},
    {20127, L"us-ascii", 1252}, {20261, L"x-cp20261", kNoCodePage}, {20269, L"x-cp20269", kNoCodePage},
    {20273, L"x-EBCDIC-Germany", 1252}, {20277, L"x-EBCDIC-DenmarkNorway", 1252},
    {20278, L"x-EBCDIC-FinlandSweden", 1252}, {20280, L"x-EBCDIC-Italy", 1252}, {20284, L"X-EBCDIC-Spain", 1252},
    {20285, L"x-EBCDIC-UK", 1252}, {20290, L"x-EBCDIC-JapaneseKatakana", 932}, {20297, L"IBM297", 1252},
    {20420, L"x-EBCDIC-Arabic", 1256}, {20423, L"x-EBCDIC-Greek", 1253}, {20424, L"x-EBCDIC-Hebrew", 1255},
    {20833, L"x-EBCDIC-KoreanExtended", 949}, {20838, L"x-EBCDIC-Thai", 874}, {20866, L"koi8-r", 1251},
    {20871, L"x-EBCDIC-Icelandic", 1252}, {20880, L"x-EBCDIC-CyrillicRussian", 1251},
    {20905, L"x-EBCDIC-Turkish", 1254}, {20924, L"IBM00924", 1252}, {20932, L"EUC-JP", 932},
    {20936, L"x-cp20936", 936}, {20949, L"x-cp20949", 949}, {21025, L"x-EBCDIC-CyrillicSerbianBulgarian", 1251},
    {21027, L"us-ascii", 1252}, {21866, L"koi8-ru", 1251}, {28591, L"iso-8859-1", 1252},
    {28592, L"iso-8859-2", 1250}, {28593, L"iso-8859-3", 1254}, {28594, L"iso-8859-4", 1257},
    {28595, L"iso-8859-5", 1251}, {28596, L"iso-8859-6", 1256}, {28597, L"iso-8859-7", 1253},
    {28598, L"iso-8859-8", 1255}, {28599, L"iso-8859-9", 1254}, {28603, L"iso-8859-13", 1250},
    {28605, L"iso-8859-15", 1252}, {29001, L"x-Europa", 1252}, {38598, L"iso-8859-8-i", 1255},
    {50000, L"x-user-defined", 1252}, {50001, L"_autodetect_all", 1252}, {50220, L"iso-2022-jp", 932},
    {50221, L"csISO2022JP", 932}, {50222, L"iso-2022-jp", 932}, {50225, L"iso-2022-kr", 949},
    {50227, L"x-cp50227", 936}, {50930, L"x-EBCDIC-JapaneseAndKana", 932},
    {50931, L"x-EBCDIC-JapaneseAndUSCanada", 932}, {50932, L"_autodetect", 932},
    {50933, L"x-EBCDIC-KoreanAndKoreanExtended", 949}, {50935, L"x-EBCDIC-SimplifiedChinese", 936},
    {50937, L"x-EBCDIC-TraditionalChinese", 950}, {50939, L"x-EBCDIC-JapaneseAndJapaneseLatin", 932},
    {50949, L"_autodetect_kr", 949}, {51932, L"euc-jp", 932}, {51936, L"EUC-CN", 936}, {51949, L"euc-kr", 949},
    {52936, L"hz-gb-2312", 936}, {54936, L"GB18030", 936}, {57002, L"x-iscii-de", 57002},
    {57003, L"x-iscii-be", 57003}, {57004, L"x-iscii-ta", 57004}, {57005, L"x-iscii-te", 57005},
    {57006, L"x-iscii-as", 57006}, {57007, L"x-iscii-or", 57007}, {57008, L"x-iscii-ka", 57008},
    {57009, L"x-iscii-ma", 57009}, {57010, L"x-iscii-gu", 57010}, {57011, L"x-iscii-pa", 57011},
    {65000, L"utf-7", 1200}, {65001, L"utf-8", 1200},
};

// Every charset name we recognise; several names share a code page.
const CharsetNameRow kCharsetNameRows[] = {
    {L"_autodetect", 50932}, {L"_autodetect_all", 50001}, {L"_autodetect_kr", 50949}, {L"_iso-2022-jp", 50221},
    {L"_iso-2022-jp$ESC", 50221}, {L"_iso-2022-jp$SIO", 50222}, {L"437", 437}, {L"ANSI_X3.4-1968", 1252},
    {L"ANSI_X3.4-1986", 1252}, {L"arabic", 28596}, {L"ascii", 1252}, {L"ASMO-708", 708}, {L"big5", 950},
    {L"chinese", 936}, {L"cn-big5", 950}, {L"CN-GB", 936}, {L"Codepage437", 437}, {L"cp367", 1252}, {L"CP500", 775},
    {L"cp819", 1252}, {L"cp1025", 21025}, {L"csASCII", 1252}, {L"csbig5", 950}, {L"csEUCKR", 949},
    {L"csEUCPkdFmtJapanese", 51932}, {L"csGB2312", 936}, {L"csGB231280", 936}, {L"csISO", 28591},
    {L"csISO2022JP", 50221}, {L"csISO2022KR", 50225}, {L"csISO58GB231280", 936}, {L"csISOLatin1", 1252},
    {L"csISOLatin2", 28592}, {L"csISOLatin4", 28594}, {L"csISOLatin5", 1254}, {L"csISOLatinArabic", 28596},
    {L"csISOLatinCyrillic", 28595}, {L"csISOLatinGreek", 28597}, {L"csISOLatinHebrew", 28598}, {L"csKOI8R", 20866},
    {L"csKSC56011987", 949}, {L"csPC8", 437}, {L"csShiftJIS", 932}, {L"csUnicode11UTF7", 65000},
    {L"csWindows31J", 932}, {L"cyrillic", 28595}, {L"DOS-720", 720}, {L"DOS-862", 862}, {L"DOS-874", 874},
    {L"ECMA-114", 28596}, {L"ECMA-118", 28597}, {L"ebcdic-cp-us", 37}, {L"ELOT_928", 28597}, {L"EUC-CN", 51936},
    {L"euc-kr", 949}, {L"euc-jp", 51932}, {L"Extended_UNIX_Code_Packed_Format_for_Japanese", 51932},
    {L"GB_2312-80", 936}, {L"gb2312", 936}, {L"GB231280", 936}, {L"GB2312-80", 936}, {L"GB18030", 54936},
    {L"GBK", 936}, {L"greek", 28597}, {L"greek8", 28597}, {L"hebrew", 28598}, {L"hz-gb-2312", 52936},
    {L"IBM297", 20297}, {L"IBM367", 1252}, {L"IBM437", 437}, {L"ibm737", 737}, {L"ibm775", 775}, {L"ibm819", 1252},
    {L"ibm850", 850}, {L"ibm852", 852}, {L"ibm857", 857}, {L"ibm861", 861}, {L"ibm866", 866}, {L"ibm869", 869},
    {L"IBM00924", 20924}, {L"ISO_646.irv:1991", 1252}, {L"iso_8859-1", 1252}, {L"iso_8859-1:1987", 1252},
    {L"ISO_8859-15", 28605}, {L"iso_8859-2", 28592}, {L"iso_8859-2:1987", 28592}, {L"ISO_8859-3", 28593},
    {L"ISO_8859-3:1988", 28593}, {L"ISO_8859-4", 28594}, {L"ISO_8859-4:1988", 28594}, {L"ISO_8859-5", 28595},
    {L"ISO_8859-5:1988", 28595}, {L"ISO_8859-6", 28596}, {L"ISO_8859-6:1987", 28596}, {L"ISO_8859-7", 28597},
    {L"ISO_8859-7:1987", 28597}, {L"ISO_8859-8", 28598}, {L"ISO_8859-8:1988", 28598}, {L"ISO_8859-8-I", 1255},
    {L"ISO_8859-9", 1254}, {L"ISO_8859-9:1989", 1254}, {L"iso-2022-jp", 50220}, {L"iso-2022-kr", 50225},
    {L"iso-8859-1", 1252}, {L"iso-8859-2", 28592}, {L"iso-8859-3", 28593}, {L"iso-8859-4", 28594},
    {L"iso-8859-5", 28595}, {L"iso-8859-6", 28596}, {L"iso-8859-7", 28597}, {L"iso-8859-8", 28598},
    {L"iso-8859-8-i", 38598}, {L"ISO-8859-8 Visual", 28598}, {L"iso-8859-9", 1254}, {L"iso-8859-11", 874},
    {L"iso-8859-13", 28603}, {L"iso-8859-15", 28605}, {L"iso-ir-100", 1252}, {L"iso-ir-101", 28592},
    {L"iso-ir-109", 28593}, {L"iso-ir-110", 28594}, {L"iso-ir-111", 28594}, {L"iso-ir-126", 28597},
    {L"iso-ir-127", 28596}, {L"iso-ir-138", 28598}, {L"iso-ir-144", 28595}, {L"iso-ir-148", 1254},
    {L"iso-ir-149", 949}, {L"iso-ir-58", 936}, {L"iso-ir-6", 1252}, {L"iso-ir-6us", 1252}, {L"ISO646-US", 1252},
    {L"iso8859-1", 1252}, {L"iso8859-2", 28592}, {L"Johab", 1361}, {L"koi", 20866}, {L"koi8", 20866},
    {L"koi8-r", 20866}, {L"koi8-ru", 21866}, {L"koi8-u", 21866}, {L"koi8r", 20866}, {L"korean", 949},
    {L"ks_c_5601", 949}, {L"ks_c_5601_1987", 949}, {L"ks_c_5601-1987", 949}, {L"ks_c_5601-1989", 949},
    {L"KSC_5601", 949}, {L"KSC5601", 949}, {L"l1", 1252}, {L"l2", 28592}, {L"l3", 28593}, {L"l4", 28594},
    {L"l5", 1254}, {L"l9", 28605}, {L"latin1", 1252}, {L"latin2", 28592}, {L"latin3", 28593}, {L"latin4", 28594},
    {L"latin5", 1254}, {L"latin9", 28605}, {L"logical", 1255}, {L"macintosh", 10000}, {L"ms_Kanji", 932},
    {L"shift_jis", 932}, {L"shift-jis", 932}, {L"TIS-620", 874}, {L"unicode", 1200}, {L"unicode-1-1-utf-7", 65000},
    {L"unicode-1-1-utf-8", 65001}, {L"unicode-2-0-utf-8", 65001}, {L"unicodeFFFE", 1201}, {L"us", 1252},
    {L"us-ascii", 1252}, {L"utf-7", 65000}, {L"utf-8", 65001}, {L"UTF8", 65001}, {L"utf-8-strict", 65001},
    {L"utf-16", 1200}, {L"UTF-16LE", 1200}, {L"utf-32", 12000}, {L"utf-32BE", 12001}, {L"visual", 28598},
    {L"windows-874", 874}, {L"windows-1250", 1250}, {L"windows-1251", 1251}, {L"windows-1252", 1252},
    {L"windows-1253", 1253}, {L"windows-1254", 1254}, {L"windows-1255", 1255}, {L"windows-1256", 1256},
    {L"windows-1257", 1257}, {L"windows-1258", 1258}, {L"x-ansi", 1252}, {L"x-Chinese-CNS", 20000},
    {L"x-Chinese-Eten", 20002}, {L"x-cp1250", 1250}, {L"x-cp1251", 1251}, {L"x-cp20001", 20001},
    {L"x-cp20003", 20003}, {L"x-cp20004", 20004}, {L"x-cp20005", 20005}, {L"x-cp20261", 20261},
    {L"x-cp20269", 20269}, {L"x-cp20936", 20936}, {L"x-cp20949", 20949}, {L"x-cp50227", 50227},
    {L"x-EBCDIC-Arabic", 20420}, {L"x-ebcdic-cp-us-euro", 1140}, {L"x-EBCDIC-CyrillicRussian", 20880},
    {L"x-EBCDIC-CyrillicSerbianBulgarian", 21025}, {L"x-EBCDIC-DenmarkNorway", 20277},
    {L"x-ebcdic-denmarknorway-euro", 1142}, {L"x-EBCDIC-FinlandSweden", 20278},
    {L"x-ebcdic-finlandsweden-euro", 1143}, {L"X-EBCDIC-France", 1143}, {L"x-ebcdic-france-euro", 1147},
    {L"x-EBCDIC-Germany", 20273}, {L"x-ebcdic-germany-euro", 1141}, {L"x-EBCDIC-Greek", 20423},
    {L"x-EBCDIC-GreekModern", 875}, {L"x-EBCDIC-Hebrew", 20424}, {L"x-EBCDIC-Icelandic", 20871},
    {L"x-ebcdic-icelandic-euro", 1149}, {L"x-ebcdic-international-euro", 1148}, {L"x-EBCDIC-Italy", 20280},
    {L"x-ebcdic-italy-euro", 1144}, {L"x-EBCDIC-JapaneseAndJapaneseLatin", 50939},
    {L"x-EBCDIC-JapaneseAndKana", 50930}, {L"x-EBCDIC-JapaneseAndUSCanada", 50931},
    {L"x-EBCDIC-JapaneseKatakana", 20290}, {L"x-EBCDIC-KoreanAndKoreanExtended", 50933},
    {L"x-EBCDIC-KoreanExtended", 20833}, {L"x-EBCDIC-SimplifiedChinese", 50935}, {L"X-EBCDIC-Spain", 20284},
    {L"x-ebcdic-spain-euro", 1145}, {L"x-EBCDIC-Thai", 20838}, {L"x-EBCDIC-TraditionalChinese", 50937},
    {L"x-EBCDIC-Turkish", 20905}, {L"x-EBCDIC-UK", 20285}, {L"x-ebcdic-uk-euro", 1146}, {L"x-euc", 51932},
    {L"x-euc-cn", 51936}, {L"x-euc-jp", 51932}, {L"x-Europa", 29001}, {L"x-IA5", 20105}, {L"x-IA5-German", 20106},
    {L"x-IA5-Norwegian", 20108}, {L"x-IA5-Swedish", 20107}, {L"x-iscii-as", 57006}, {L"x-iscii-be", 57003},
    {L"x-iscii-de", 57002}, {L"x-iscii-gu", 57010}, {L"x-iscii-ka", 57008}, {L"x-iscii-ma", 57009},
    {L"x-iscii-or", 57007}, {L"x-iscii-pa", 57011}, {L"x-iscii-ta", 57004}, {L"x-iscii-te", 57005},
    {L"x-mac-arabic", 10004}, {L"x-mac-ce", 10029}, {L"x-mac-chinesesimp", 10008}, {L"x-mac-chinesetrad", 10002},
    {L"x-mac-croatian", 10082}, {L"x-mac-cyrillic", 10007}, {L"x-mac-greek", 10006}, {L"x-mac-hebrew", 10005},
    {L"x-mac-japanese", 10001}, {L"x-mac-korean", 10003}, {L"x-mac-icelandic", 10079}, {L"x-mac-romanian", 10010},
    {L"x-mac-thai", 10021}, {L"x-mac-turkish", 10081}, {L"x-mac-ukrainian", 10017}, {L"x-ms-cp932", 932},
    {L"x-sjis", 932}, {L"x-unicode-2-0-utf-7", 65000}, {L"x-unicode-2-0-utf-8", 65001}, {L"x-user-defined", 50000},
    {L"x-x-big5", 950},
};

struct NoCaseLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const
    {
        return _wcsicmp(left.c_str(), right.c_str()) < 0;
    }
};

struct CodePageEntry {
    const wchar_t* name;
    uint32_t fallback;
};

// Both tables, filled once and only read afterwards.
class CCharsetTables {
public:
    CCharsetTables() { InitializeCharsetTables(); }

    const CodePageEntry* FindCodePage(uint32_t codePage) const
    {
        auto it = m_codePages.find(codePage);
        return it == m_codePages.end() ? nullptr : &it->second;
    }

    uint32_t FindName(const std::wstring& name) const
    {
        auto it = m_names.find(name);
        return it == m_names.end() ? kNoCodePage : it->second;
    }

private:
    void InitializeCharsetTables()
    {
        for (const CodePageRow& row : kCodePageRows)
            AddCharset(row.codePage, row.name, row.fallback);
        for (const CharsetNameRow& row : kCharsetNameRows)
            m_names[row.name] = row.codePage;
    }

    void AddCharset(uint32_t codePage, const wchar_t* name, uint32_t fallback)
    {
        m_codePages[codePage] = CodePageEntry{name, fallback};
    }

    std::map<uint32_t, CodePageEntry> m_codePages;
    std::map<std::wstring, uint32_t, NoCaseLess> m_names;
};

// Built on first use rather than by a static initialiser, so that callers in
// other static initialisers never see an empty table.
const CCharsetTables& Tables()
{
    static const CCharsetTables tables;
    return tables;
}

bool HasPrefixNoCase(const std::wstring& text, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

} // namespace

uint32_t GetCodePageFromCharsetName(const std::wstring& name)
{
    uint32_t codePage = Tables().FindName(name);
    if (codePage != kNoCodePage)
        return codePage;

    bool haveNumber = false;
    if (name.size() > 2 && HasPrefixNoCase(name, L"cp") && IsNumericString(name.substr(2))) {
        codePage = static_cast<uint32_t>(_wtoi(name.c_str() + 2));
        haveNumber = true;
    } else if (name.size() >= 4 && HasPrefixNoCase(name, L"ibm") && IsNumericString(name.substr(3))) {
        codePage = static_cast<uint32_t>(_wtoi(name.c_str() + 3));
        haveNumber = true;
    }
    if (haveNumber && Tables().FindCodePage(codePage) != nullptr)
        return codePage;

    Logging::Log(Logging::Error, (L"No Windows codepage found for charset: " + StringW(name)).c_str());
    return kNoCodePage;
}

StringW GetCharsetNameFromCodePage(uint32_t codePage)
{
    const CodePageEntry* entry = Tables().FindCodePage(codePage);
    return entry == nullptr ? StringW() : StringW(entry->name);
}

uint32_t GetFallbackCodePage(uint32_t codePage)
{
    const CodePageEntry* entry = Tables().FindCodePage(codePage);
    return entry == nullptr ? kNoCodePage : entry->fallback;
}

} // namespace Quenzal::Net

namespace Quenzal::Os {

StringW GetCodePageName(uint32_t codePage)
{
    return Net::GetCharsetNameFromCodePage(codePage);
}

uint32_t GetFallbackCodePage(uint32_t codePage)
{
    return Net::GetFallbackCodePage(codePage);
}

StringW DescribeCodePage(uint32_t codePage)
{
    StringW name = Net::GetCharsetNameFromCodePage(codePage);
    if (name.empty())
        return StringW::Format(L"Unknown (%u)", codePage);
    return StringW::Format(L"%s (%u)", name.c_str(), codePage);
}

} // namespace Quenzal::Os

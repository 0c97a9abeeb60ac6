#pragma once
// The fixed vocabulary of MIME and HTTP: each vocabulary is an enumeration
// whose values other parts store, with a two-way table between wire names and
// values. Tables are built on first use and only read afterwards.

#include "StringW.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

namespace Quenzal::Net {

// A two-way table between names (compared without regard to case) and values.
// Aliases turn into values but a value always turns into its canonical name.
template <class CharT>
class CEnumNameMap {
public:
    using String = std::basic_string<CharT>;
    struct Row {
        int32_t value;
        const CharT* name; // a static text that lives as long as the process
    };

    CEnumNameMap(std::initializer_list<Row> canonical, std::initializer_list<Row> aliases = {})
    {
        for (const Row& row : canonical) {
            m_values[row.name] = row.value;
            m_names[row.value] = row.name;
        }
        for (const Row& row : aliases)
            m_values[row.name] = row.value;
    }

    // The value of a name or alias, compared as a whole text; -1 when unknown.
    int32_t LookupValue(const String& name) const
    {
        if (name.find(CharT()) != String::npos)
            return -1;
        auto it = m_values.find(name.c_str());
        return it == m_values.end() ? -1 : it->second;
    }

    // The canonical name of a value; empty when the value has none.
    String LookupName(int32_t value) const
    {
        auto it = m_names.find(value);
        return it == m_names.end() ? String() : String(it->second);
    }

    // Adds a canonical pair, replacing what either side had; the name must
    // live as long as the table. Only while the table is being built.
    void Add(int32_t value, const CharT* name)
    {
        m_values[name] = value;
        m_names[value] = name;
    }

private:
    struct NoCaseLess {
        bool operator()(const CharT* left, const CharT* right) const
        {
            if constexpr (sizeof(CharT) == 1)
                return _stricmp(left, right) < 0;
            else
                return _wcsicmp(left, right) < 0;
        }
    };

    std::map<const CharT*, int32_t, NoCaseLess> m_values;
    std::map<int32_t, const CharT*> m_names;
};

enum MediaType : int32_t {
    MediaTypeApplication = 0,
    MediaTypeAudio = 1,
    MediaTypeImage = 2,
    MediaTypeMessage = 3,
    MediaTypeMultipart = 4,
    MediaTypeText = 5,
    MediaTypeVideo = 6,
};

// Value 1 has no name.
enum ContentType : int32_t {
    ContentTypeAny = 0,
    ContentTypeApplicationApplefile = 2,
    ContentTypeApplicationXArc = 3,
    ContentTypeApplicationXArj = 4,
    ContentTypeApplicationXNawk = 5,
    ContentTypeApplicationXBzip2 = 6,
    ContentTypeApplicationXCompress = 7,
    ContentTypeApplicationXMsdownload = 8,
    ContentTypeApplicationXGzip = 9,
    ContentTypeApplicationJava = 10,
    ContentTypeApplicationJson = 11,
    ContentTypeApplicationXLharc = 12,
    ContentTypeApplicationXMicrosoftOLEObject = 13,
    ContentTypeApplicationVndMsExcel = 14,
    ContentTypeApplicationVndMsPowerpoint = 15,
    ContentTypeApplicationMsTNEF = 16,
    ContentTypeApplicationVndMsWord = 17,
    ContentTypeApplicationOctetStream = 18,
    ContentTypeApplicationPdf = 19,
    ContentTypeApplicationXPerl = 20,
    ContentTypeApplicationPgpEncrypted = 21,
    ContentTypeApplicationPgpKeys = 22,
    ContentTypeApplicationPgpSignature = 23,
    ContentTypeApplicationPostscript = 24,
    ContentTypeApplicationXRar = 25,
    ContentTypeApplicationXRpm = 26,
    ContentTypeApplicationXShellscript = 27,
    ContentTypeApplicationSoapXml = 28,
    ContentTypeApplicationXStuffit = 29,
    ContentTypeApplicationXTar = 30,
    ContentTypeApplicationX509Certificate = 31,
    ContentTypeApplicationXopXml = 32,
    ContentTypeApplicationXWwwFormUrlencoded = 33,
    ContentTypeApplicationZip = 34,
    ContentTypeApplicationXZoo = 35,
    ContentTypeAudioAny = 36,
    ContentTypeAudioAiff = 37,
    ContentTypeAudioMpeg = 38,
    ContentTypeAudioWav = 39,
    ContentTypeImageAny = 40,
    ContentTypeImageBmp = 41,
    ContentTypeImageCgm = 42,
    ContentTypeImageXEmf = 43,
    ContentTypeImageGif = 44,
    ContentTypeImageJpeg = 45,
    ContentTypeImagePict = 46,
    ContentTypeImagePng = 47,
    ContentTypeImageTiff = 48,
    ContentTypeImageXWmf = 49,
    ContentTypeMessageAny = 50,
    ContentTypeMessageDeliveryStatus = 51,
    ContentTypeMessageDispositionNotification = 52,
    ContentTypeMessageExternalBody = 53,
    ContentTypeMessageRfc822 = 54,
    ContentTypeMultipartAny = 55,
    ContentTypeMultipartAlternative = 56,
    ContentTypeMultipartAppledouble = 57,
    ContentTypeMultipartDigest = 58,
    ContentTypeMultipartEncrypted = 59,
    ContentTypeMultipartFormData = 60,
    ContentTypeMultipartMixed = 61,
    ContentTypeMultipartRelated = 62,
    ContentTypeMultipartReport = 63,
    ContentTypeMultipartSigned = 64,
    ContentTypeMultipartXQuenzalMapidata = 65,
    ContentTypeTextAny = 66,
    ContentTypeTextCalendar = 67,
    ContentTypeTextCss = 68,
    ContentTypeTextCsv = 69,
    ContentTypeTextHtml = 70,
    ContentTypeTextPlain = 71,
    ContentTypeTextRtf = 72,
    ContentTypeTextXVcard = 73,
    ContentTypeTextXml = 74,
    ContentTypeTextXsl = 75,
    ContentTypeVideoAny = 76,
    ContentTypeVideoAvi = 77,
    ContentTypeVideoMpeg = 78,
    ContentTypeVideoQuicktime = 79,
};

enum ContentTransferEncoding : int32_t {
    ContentTransferEncoding8Bit = 0,
    ContentTransferEncoding7Bit = 1,
    ContentTransferEncodingBase64 = 2,
    ContentTransferEncodingBinary = 3,
    ContentTransferEncodingQuotedPrintable = 4,
    ContentTransferEncodingUuencode = 5,
};

enum ContentDispositionType : int32_t {
    ContentDispositionFormData = 0,
    ContentDispositionInline = 1,
    ContentDispositionAttachment = 2,
};

enum HttpVersion : int32_t {
    HttpVersion10 = 0,
    HttpVersion11 = 1,
};

enum HttpMethod : int32_t {
    HttpMethodConnect = 0,
    HttpMethodDelete = 1,
    HttpMethodGet = 2,
    HttpMethodHead = 3,
    HttpMethodMkcol = 4,
    HttpMethodMove = 5,
    HttpMethodOptions = 6,
    HttpMethodPost = 7,
    HttpMethodPut = 8,
    HttpMethodTrace = 9,
    HttpMethodBdelete = 10,
    HttpMethodPropfind = 11,
    HttpMethodProppatch = 12,
};

// The Content-Encoding vocabulary.
enum ContentCoding : int32_t {
    ContentCodingIdentity = 0,
    ContentCodingGzip = 1,
    ContentCodingCompress = 2,
    ContentCodingDeflate = 3,
};

// The Transfer-Encoding vocabulary: the same names as ContentCoding, numbered differently.
enum TransferCoding : int32_t {
    TransferCodingIdentity = 0,
    TransferCodingChunked = 1,
    TransferCodingGzip = 2,
    TransferCodingCompress = 3,
    TransferCodingDeflate = 4,
};

enum UriScheme : int32_t {
    UriSchemeHttp = 0,
    UriSchemeHttps = 1,
};

enum AuthenticationScheme : int32_t {
    AuthenticationSchemeBasic = 0,
    AuthenticationSchemeDigest = 1,
};

enum DigestQop : int32_t {
    DigestQopAuth = 0,
    DigestQopAuthInt = 1,
};

// Well-known parameter names of MIME headers.
enum MimeParameter : int32_t {
    MimeParameterAccessType = 0,
    MimeParameterBoundary = 1,
    MimeParameterCharset = 2,
    MimeParameterComponent = 3,
    MimeParameterDirectory = 4,
    MimeParameterMethod = 5,
    MimeParameterMicalg = 6,
    MimeParameterName = 7,
    MimeParameterProtocol = 8,
    MimeParameterServer = 9,
    MimeParameterSite = 10,
    MimeParameterStart = 11,
    MimeParameterStartInfo = 12,
    MimeParameterSubject = 13,
    MimeParameterType = 14,
    MimeParameterUrl = 15,
};

enum CacheControlDirective : int32_t {
    CacheControlPublic = 0,
    CacheControlPrivate = 1,
    CacheControlNoCache = 2,
    CacheControlNoStore = 3,
    CacheControlNoTransform = 4,
    CacheControlMustRevalidate = 5,
    CacheControlProxyRevalidate = 6,
};

enum ConnectionOption : int32_t {
    ConnectionOptionKeepAlive = 0,
    ConnectionOptionClose = 1,
};

using CWideNameMap = CEnumNameMap<wchar_t>;
using CNarrowNameMap = CEnumNameMap<char>;

const CWideNameMap& GetMediaTypeTable();
const CWideNameMap& GetContentTypeTable();
const CWideNameMap& GetContentTransferEncodingTable();
const CWideNameMap& GetContentDispositionTypeTable();
// File extensions (without dot) to ContentType values.
const CWideNameMap& GetFileExtensionTable();
const CWideNameMap& GetHttpVersionTable();
const CWideNameMap& GetHttpMethodTable();
const CWideNameMap& GetContentCodingTable();
const CWideNameMap& GetTransferCodingTable();
const CWideNameMap& GetUriSchemeTable();
const CWideNameMap& GetAuthenticationSchemeTable();
const CWideNameMap& GetDigestQopTable();
const CWideNameMap& GetMimeParameterTable();
const CNarrowNameMap& GetCacheControlDirectiveTable();
const CNarrowNameMap& GetConnectionOptionTable();

StringW GetContentTypeName(int32_t id);
int32_t GetContentType(const std::wstring& name);
// The media type of "type/subtype..." (or of a bare type); -1 when unknown.
int32_t GetMediaType(const std::wstring& text);
// The MIME type of a file extension from our table, else from the registry's
// HKEY_CLASSES_ROOT (an extension given with its dot asks only the registry).
StringW GetContentTypeForFileExtension(const std::wstring& extension);
// The upper-case reason phrase of an HTTP status code.
StringW GetHttpStatusName(int32_t code);

} // namespace Quenzal::Net

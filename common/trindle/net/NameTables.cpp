#include "NameTables.h"

#include "Registry.h"

namespace Quenzal::Net {

const CWideNameMap& GetMediaTypeTable()
{
    static const CWideNameMap table({{0, L"application"}, {1, L"audio"}, {2, L"image"}, {3, L"message"},
                                     {4, L"multipart"}, {5, L"text"}, {6, L"video"}});
    return table;
}

const CWideNameMap& GetContentTypeTable()
{
    static const CWideNameMap table(
        {
            {0, L"*/*"}, {2, L"application/applefile"}, {3, L"application/x-arc"}, {4, L"application/x-arj"},
            {5, L"application/x-nawk"}, {6, L"application/x-bzip2"}, {7, L"application/x-compress"},
            {8, L"application/x-msdownload"}, {9, L"application/x-gzip"}, {10, L"application/java"},
            {11, L"application/json"}, {12, L"application/x-lharc"}, {13, L"application/X-Microsoft-OLE-object"},
            {14, L"application/vnd.ms-excel"}, {15, L"application/vnd.ms-powerpoint"}, {16, L"application/ms-TNEF"},
            {17, L"application/vnd.ms-word"}, {18, L"application/octet-stream"}, {19, L"application/pdf"},
            {20, L"application/x-perl"}, {21, L"application/pgp-encrypted"}, {22, L"application/pgp-keys"},
            {23, L"application/pgp-signature"}, {24, L"application/postscript"}, {25, L"application/x-rar"},
            {26, L"application/x-rpm"}, {27, L"application/x-shellscript"}, {28, L"application/soap+xml"},
            {29, L"application/x-stuffit"}, {30, L"application/x-tar"}, {31, L"application/X509-certificate"},
            {32, L"application/xop+xml"}, {33, L"application/x-www-form-urlencoded"}, {34, L"application/zip"},
            {35, L"application/x-zoo"}, {36, L"audio/*"}, {37, L"audio/aiff"}, {38, L"audio/mpeg"}, {39, L"audio/wav"},
            {40, L"image/*"}, {41, L"image/bmp"}, {42, L"image/cgm"}, {43, L"image/x-emf"}, {44, L"image/gif"},
            {45, L"image/jpeg"}, {46, L"image/pict"}, {47, L"image/png"}, {48, L"image/tiff"}, {49, L"image/x-wmf"},
            {50, L"message/*"}, {51, L"message/delivery-status"}, {52, L"message/disposition-notification"},
            {53, L"message/external-body"}, {54, L"message/rfc822"}, {55, L"multipart/*"}, {56, L"multipart/alternative"},
            {57, L"multipart/appledouble"}, {58, L"multipart/digest"}, {59, L"multipart/encrypted"},
            {60, L"multipart/form-data"}, {61, L"multipart/mixed"}, {62, L"multipart/related"}, {63, L"multipart/report"},
            {64, L"multipart/signed"}, {65, L"multipart/x-quenzal-mapidata"}, {66, L"text/*"}, {67, L"text/calendar"},
            {68, L"text/css"}, {69, L"text/csv"}, {70, L"text/html"}, {71, L"text/plain"}, {72, L"text/rtf"},
            {73, L"text/x-vcard"}, {74, L"text/xml"}, {75, L"text/xsl"}, {76, L"video/*"}, {77, L"video/avi"},
            {78, L"video/mpeg"}, {79, L"video/quicktime"},
        },
        {
            {8, L"application/x-dosexec"}, {8, L"application/x-executable"}, {14, L"application/msexcel"},
            {14, L"application/excel"}, {15, L"application/mspowerpoint"}, {15, L"application/powerpoint"},
            {17, L"application/msword"}, {17, L"application/word"}, {30, L"application/x-cpio"},
            {30, L"application/x-archive"}, {34, L"application/x-zip"}, {39, L"audio/x-wav"}, {45, L"image/jpg"},
            {54, L"message/news"}, {77, L"video/x-msvideo"},
        });
    return table;
}

const CWideNameMap& GetContentTransferEncodingTable()
{
    static const CWideNameMap table({{0, L"8bit"}, {1, L"7bit"}, {2, L"base64"}, {3, L"binary"},
                                     {4, L"quoted-printable"}, {5, L"x-uuencode"}});
    return table;
}

const CWideNameMap& GetContentDispositionTypeTable()
{
    static const CWideNameMap table({{0, L"form-data"}, {1, L"inline"}, {2, L"attachment"}});
    return table;
}

const CWideNameMap& GetFileExtensionTable()
{
    static const CWideNameMap table(
        {{69, L"csv"}, {43, L"emf"}, {44, L"gif"}, {70, L"html"}, {67, L"ics"}, {45, L"jpg"}, {54, L"eml"},
         {72, L"rtf"}, {71, L"txt"}, {73, L"vcf"}, {49, L"wmf"}},
        {{70, L"htm"}, {45, L"jpeg"}});
    return table;
}

const CWideNameMap& GetHttpVersionTable()
{
    static const CWideNameMap table({{0, L"HTTP/1.0"}, {1, L"HTTP/1.1"}});
    return table;
}

const CWideNameMap& GetHttpMethodTable()
{
    static const CWideNameMap table({{0, L"CONNECT"}, {1, L"DELETE"}, {2, L"GET"}, {3, L"HEAD"}, {4, L"MKCOL"},
                                     {5, L"MOVE"}, {6, L"OPTIONS"}, {7, L"POST"}, {8, L"PUT"}, {9, L"TRACE"},
                                     {10, L"BDELETE"}, {11, L"PROPFIND"}, {12, L"PROPPATCH"}});
    return table;
}

const CWideNameMap& GetContentCodingTable()
{
    static const CWideNameMap table({{0, L"identity"}, {1, L"gzip"}, {2, L"compress"}, {3, L"deflate"}});
    return table;
}

const CWideNameMap& GetTransferCodingTable()
{
    static const CWideNameMap table(
        {{0, L"identity"}, {1, L"chunked"}, {2, L"gzip"}, {3, L"compress"}, {4, L"deflate"}});
    return table;
}

const CWideNameMap& GetUriSchemeTable()
{
    static const CWideNameMap table({{0, L"http"}, {1, L"https"}});
    return table;
}

const CWideNameMap& GetAuthenticationSchemeTable()
{
    static const CWideNameMap table({{0, L"Basic"}, {1, L"Digest"}});
    return table;
}

const CWideNameMap& GetDigestQopTable()
{
    static const CWideNameMap table({{0, L"auth"}, {1, L"auth-int"}});
    return table;
}

const CWideNameMap& GetMimeParameterTable()
{
    static const CWideNameMap table({{0, L"access-type"}, {1, L"boundary"}, {2, L"charset"}, {3, L"component"},
                                     {4, L"directory"}, {5, L"method"}, {6, L"micalg"}, {7, L"name"},
                                     {8, L"protocol"}, {9, L"server"}, {10, L"site"}, {11, L"start"},
                                     {12, L"start-info"}, {13, L"subject"}, {14, L"type"}, {15, L"url"}});
    return table;
}

const CNarrowNameMap& GetCacheControlDirectiveTable()
{
    static const CNarrowNameMap table({{0, "public"}, {1, "private"}, {2, "no-cache"}, {3, "no-store"},
                                       {4, "no-transform"}, {5, "must-revalidate"}, {6, "proxy-revalidate"}});
    return table;
}

const CNarrowNameMap& GetConnectionOptionTable()
{
    static const CNarrowNameMap table({{0, "keep-alive"}, {1, "close"}});
    return table;
}

StringW GetContentTypeName(int32_t id)
{
    return GetContentTypeTable().LookupName(id);
}

int32_t GetContentType(const std::wstring& name)
{
    return GetContentTypeTable().LookupValue(name);
}

int32_t GetMediaType(const std::wstring& text)
{
    size_t slash = text.find(L'/');
    return GetMediaTypeTable().LookupValue(slash == std::wstring::npos ? text : text.substr(0, slash));
}

StringW GetContentTypeForFileExtension(const std::wstring& extension)
{
    if (extension.empty())
        return StringW();
    int32_t type = GetFileExtensionTable().LookupValue(extension);
    if (type != -1)
        return GetContentTypeName(type);
    StringW key = extension[0] == L'.' ? StringW(extension) : L"." + StringW(extension);
    return Os::TryGetRegistryString(HKEY_CLASSES_ROOT, key.c_str(), L"Content Type");
}

StringW GetHttpStatusName(int32_t code)
{
    switch (code) {
    case 100: return L"CONTINUE";
    case 200: return L"OK";
    case 201: return L"CREATED";
    case 202: return L"ACCEPTED";
    case 203: return L"NON-AUTHORITATIVE INFORMATION";
    case 204: return L"NO CONTENT";
    case 205: return L"RESET CONTENT";
    case 206: return L"PARTIAL CONTENT";
    case 302: return L"OBJECT MOVED";
    case 400: return L"BAD REQUEST";
    case 401: return L"UNAUTHORIZED";
    case 403: return L"FORBIDDEN";
    case 404: return L"NOT FOUND";
    case 405: return L"METHOD NOT ALLOWED";
    case 406: return L"NOT ACCEPTABLE";
    case 411: return L"LENGTH REQUIRED";
    case 412: return L"PRECONDITION FAILED";
    case 413: return L"REQUEST ENTITY TOO LARGE";
    case 414: return L"REQUEST-URI TOO LONG";
    case 415: return L"UNSUPPORTED MEDIA TYPE";
    case 416: return L"REQUESTED RANGE NOT SATISFIABLE";
    case 417: return L"EXPECTATION FAILED";
    case 500: return L"INTERNAL SERVER ERROR";
    case 501: return L"NOT IMPLEMENTED";
    case 502: return L"BAD GATEWAY";
    case 503: return L"SERVICE UNAVAILABLE";
    case 504: return L"GATEWAY TIMEOUT";
    case 505: return L"VERSION NOT SUPPORTED";
    default: return L"UNIDENTIFIED ERROR";
    }
}

} // namespace Quenzal::Net

#include "LinkFile.h"

#include "ErrorReport.h"
#include "TiXmlUtil.h"

#include <cwctype>

namespace Quenzal::Stubbing {

LinkContent ReadLink(const std::string& linkXml)
{
    // A path is a name: a blank more or less names another file.
    TiXmlDocument document = ParseXmlDocument(linkXml, "AttachedLink", XmlWhiteSpace::Keep);
    LinkContent link{GetChildElementText(*document.RootElement(), "Path"),
                     GetChildElementText(*document.RootElement(), "Seal")};
    if (link.Path.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to parse path from link XML"));
    return link;
}

StringW GetPathFromLink(const std::string& linkXml)
{
    return ReadLink(linkXml).Path;
}

bool IsLocalDrivePath(const std::wstring& path)
{
    // The file functions and the shell end a path at a NUL, and read other
    // control characters in ways of their own: the checks would pass a
    // name that is not the one opened. No file name holds a quote, a
    // redirection, a pipe or a wildcard, and to the shell a quote ends the
    // name and makes the rest arguments of a program.
    return !HasControlCharacter(path) && path.find_first_of(L"\"<>|*?") == std::wstring::npos && path.size() > 3 &&
           iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/') &&
           path.find(L':', 2) == std::wstring::npos;
}

} // namespace Quenzal::Stubbing

#include "LinkFile.h"

#include "ErrorReport.h"
#include "TiXmlUtil.h"

namespace Quenzal::Stubbing {

StringW GetPathFromLink(const std::string& linkXml)
{
    TiXmlDocument document = ParseXmlDocument(linkXml, "AttachedLink");
    StringW path = GetChildElementText(*document.RootElement(), "Path");
    if (path.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to parse path from link XML"));
    return path;
}

} // namespace Quenzal::Stubbing

#pragma once
// Reading a link file: the small XML document that stands in a mail for a
// large file, naming the file's full path; and the paths a link may name.

#include "StringW.h"

#include <string>

namespace Quenzal::Stubbing {

// What a link file holds: the linked file's path, exactly as it was written,
// and the seal of a link made by "Attach Large File" on this computer (empty
// in a link from elsewhere or from an older version).
struct LinkContent {
    StringW Path;
    StringW Seal;
};

// The root "AttachedLink"'s children "Path" and "Seal"; raises CException
// when the XML is malformed or names no path.
LinkContent ReadLink(const std::string& linkXml);
StringW GetPathFromLink(const std::string& linkXml);

// "C:\..." or "C:/...", with no stream name or device behind a second colon,
// no control character and none of the characters no file name holds
// ("<>|*?): the only places a link may name, since the send reads them again.
bool IsLocalDrivePath(const std::wstring& path);

} // namespace Quenzal::Stubbing

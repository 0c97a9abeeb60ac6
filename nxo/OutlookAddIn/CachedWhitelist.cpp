#include "CachedWhitelist.h"

#include "ErrorReport.h"
#include "File.h"
#include "Logging.h"
#include "NxoDataDirectory.h"
#include "Os.h"
#include "SmartPointer.h"
#include "Uri.h"

#include <algorithm>
#include <cstdio>
#include <utility>

using namespace Quenzal;

namespace {

struct CrtFileDestructor {
    static bool IsValid(FILE* file) { return file != nullptr; }
    static void Destroy(FILE* file) { std::fclose(file); }
};
using CCrtFile = SmartPointer<FILE*, CrtFileDestructor>;

constexpr wchar_t WhitelistFileName[] = L"whitelist.txt";
constexpr wchar_t ApplianceFileName[] = L"whitelist.appliance";

bool IsFile(const std::wstring& path)
{
    DWORD attributes = Os::GetFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string Trimmed(const std::string& text)
{
    StringA copy(text);
    copy.Trim();
    return copy;
}

// A refused address is logged with its control characters shown as '?': a
// NUL would end the record's text early.
std::string Printable(std::string text)
{
    ShowControlCharacters(text);
    return text;
}

// No mail address is longer; the reader takes no longer line either.
constexpr size_t MaxAddressLength = 254;

// A control character would end the file's reading (Ctrl-Z in text mode),
// cut the line (NUL) or split it in two (CR, LF), losing later addresses.
bool IsStorableAddress(const std::string& trimmed)
{
    return trimmed.find('@') != std::string::npos && trimmed.size() <= MaxAddressLength &&
           !HasControlCharacter(trimmed);
}

} // namespace

CCachedWhitelist::CCachedWhitelist()
{
    try {
        const StringW folder = GetNxoDataDirectory();
        m_path = Os::CombinePath(folder, WhitelistFileName);
        m_appliancePath = Os::CombinePath(folder, ApplianceFileName);
    } catch (const CException& e) {
        // Without a data folder the cache lives in memory only: addresses are
        // sent again at the next start, which the appliance takes in its stride.
        QZL_REPORT_CAUGHT(L"CCachedWhitelist::CCachedWhitelist", e);
        return;
    }
    try {
        ImportLegacyWhitelist();
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to import legacy cached whitelist: " + e.GetDescription()).c_str());
    }
    try {
        Load();
    } catch (const CException& e) {
        // Another program may hold the file for a while: what it stores is
        // kept for the next start, and additions are only ever appended.
        Logging::Log(Logging::Error, (L"Unable to load whitelist: " + e.GetDescription()).c_str());
    }
    LoadAppliance();
}

void CCachedWhitelist::ImportLegacyWhitelist()
{
    const StringW legacyProduct = Os::GetApplicationDataSubdirectory(L"Quenzal\\Threat Rampart");
    const StringW legacyFolder = Os::CombinePath(legacyProduct, L"Outlook Add-In");
    const StringW legacyPath = Os::CombinePath(legacyFolder, WhitelistFileName);
    if (!IsFile(legacyPath) || IsFile(m_path))
        return;
    Logging::Log(Logging::Debug, (L"Importing legacy cached whitelist: " + legacyPath).c_str());
    Os::CreateDirectoryByPath(Os::GetDirectoryFromPath(m_path));
    Os::MoveFile(legacyPath, m_path);
    if (Os::TryDeleteDirectory(legacyFolder))
        Os::TryDeleteEmptyDirectory(legacyProduct);
}

void CCachedWhitelist::Load()
{
    if (!IsFile(m_path))
        return;
    CCrtFile file;
    if (_wfopen_s(file.Receive(), m_path.c_str(), L"rb") != 0 || !file)
        QZL_THROW(L"CCachedWhitelist::Load", CCrtError(m_path.c_str()));
    std::string contents;
    char buffer[4096];
    for (size_t count; (count = std::fread(buffer, 1, sizeof(buffer), file.Get())) != 0;)
        contents.append(buffer, count);
    if (std::ferror(file.Get()))
        QZL_THROW(L"CCachedWhitelist::Load", CCrtError(m_path.c_str()));
    // A line too long for an address is one malformed line, never pieces
    // that each might pass for one.
    for (size_t position = 0; position < contents.size();) {
        const size_t lineFeed = contents.find('\n', position);
        const size_t end = lineFeed == std::string::npos ? contents.size() : lineFeed + 1;
        const std::string line = Trimmed(contents.substr(position, end - position));
        position = end;
        if (IsStorableAddress(line))
            m_addresses.insert(line);
        else
            Logging::LogA(Logging::Error, ("Invalid address found in cached whitelist: " + Printable(line)).c_str());
    }
}

void CCachedWhitelist::LoadAppliance()
{
    if (!IsFile(m_appliancePath))
        return;
    try {
        m_appliance = Trimmed(Os::ReadFileContents(m_appliancePath));
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"CCachedWhitelist::LoadAppliance", e);
    }
}

bool CCachedWhitelist::Contains(const std::string& address) const
{
    Os::CCriticalSectionLock lock(m_lock);
    return m_addresses.count(address) != 0;
}

CCachedWhitelist::AddressSet CCachedWhitelist::GetAddresses() const
{
    Os::CCriticalSectionLock lock(m_lock);
    return m_addresses;
}

void CCachedWhitelist::BindToAppliance(const Net::CUri& appliance)
{
    const std::string server = appliance.FormatServer();
    {
        Os::CCriticalSectionLock lock(m_lock);
        if (_stricmp(server.c_str(), m_appliance.c_str()) == 0)
            return;
    }
    Os::CCriticalSectionLock fileLock(m_fileLock);
    Bind(server);
}

void CCachedWhitelist::Bind(const std::string& server)
{
    std::string previous;
    {
        Os::CCriticalSectionLock lock(m_lock);
        // Another thread may have bound it while this one waited.
        if (_stricmp(server.c_str(), m_appliance.c_str()) == 0)
            return;
        previous = std::exchange(m_appliance, server);
        if (!previous.empty())
            m_addresses.clear();
    }
    if (!previous.empty()) {
        Logging::LogA(Logging::Debug, ("Appliance changed from " + previous + "; emptying cached whitelist").c_str());
        Os::TryDeleteFile(m_path);
    }
    if (m_appliancePath.empty())
        return;
    try {
        Os::CreateDirectoryByPath(Os::GetDirectoryFromPath(m_appliancePath));
        Os::WriteFileContents(m_appliancePath, server.data(), server.size());
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"CCachedWhitelist::BindToAppliance", e);
    }
}

std::vector<std::string> CCachedWhitelist::TakeNewAddresses(const std::set<std::string>& addresses)
{
    std::vector<std::string> refused, known, fresh;
    {
        Os::CCriticalSectionLock lock(m_lock);
        AddressSet batch;
        for (const std::string& address : addresses) {
            std::string trimmed = Trimmed(address);
            if (!IsStorableAddress(trimmed))
                refused.push_back(std::move(trimmed));
            else if (m_addresses.count(trimmed) != 0 || !batch.insert(trimmed).second)
                known.push_back(std::move(trimmed));
            else
                fresh.push_back(std::move(trimmed));
        }
    }
    for (const std::string& address : refused)
        Logging::LogA(Logging::Error, ("Attempt to add invalid address to whitelist: " + Printable(address)).c_str());
    for (const std::string& address : known)
        Logging::LogA(Logging::Debug, ("Address already in whitelist: " + address).c_str());
    return fresh;
}

size_t CCachedWhitelist::AddAddresses(const std::set<std::string>& addresses)
{
    // Held across the write, so that two answers never store an address
    // twice; nothing that holds the API client's lock takes it.
    Os::CCriticalSectionLock fileLock(m_fileLock);
    return Append(addresses);
}

size_t CCachedWhitelist::AddAddresses(const Net::CUri& appliance, const std::set<std::string>& addresses)
{
    const std::string server = appliance.FormatServer();
    Os::CCriticalSectionLock fileLock(m_fileLock);
    bool bound = false;
    {
        Os::CCriticalSectionLock lock(m_lock);
        if (!m_appliance.empty() && _stricmp(server.c_str(), m_appliance.c_str()) != 0) {
            Logging::LogA(Logging::Debug, ("Whitelist answer of " + server + " not cached; the cache is now " +
                                           m_appliance + "'s").c_str());
            return 0;
        }
        bound = !m_appliance.empty();
    }
    if (!bound)
        Bind(server);
    return Append(addresses);
}

size_t CCachedWhitelist::Append(const std::set<std::string>& addresses)
{
    std::vector<std::string> fresh = TakeNewAddresses(addresses);
    // The constructor reported the missing data folder: nothing is stored this run.
    if (fresh.empty() || m_path.empty())
        return 0;
    std::string lines;
    for (const std::string& address : fresh)
        lines.append(address).append("\r\n");
    try {
        Os::CreateDirectoryByPath(Os::GetDirectoryFromPath(m_path));
        Os::AppendFileContents(m_path, lines.data(), lines.size());
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"CCachedWhitelist::AddAddresses", e);
        return 0;
    }
    Os::CCriticalSectionLock lock(m_lock);
    for (std::string& address : fresh)
        m_addresses.insert(std::move(address));
    return fresh.size();
}

#include "MimeHeaderMap.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "NameTables.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace Quenzal::Net {

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// The first header of the name when it is a T; else a new T (it carries the
// name itself) replaces the headers of that name.
template <class T>
std::shared_ptr<T> GetTypedHeader(IMimeHeaderContainer& container, const char* name)
{
    std::shared_ptr<CMimeHeader> found = container.FindHeader(name);
    if (auto typed = std::dynamic_pointer_cast<T>(found))
        return typed;
    if (found)
        container.RemoveHeaders(name);
    auto header = std::make_shared<T>();
    container.AddHeader(header);
    return header;
}

} // namespace

// Factories

CMimeHeaderFactory::Maker CMimeHeaderFactory::Find(const std::string& name) const
{
    auto it = m_makers.find(name);
    return it == m_makers.end() ? nullptr : it->second;
}

const CMimeHeaderFactory& GetMimeHeaderFactory()
{
    static const CMimeHeaderFactory factory = [] {
        CMimeHeaderFactory table;
        table.Add("Mime-Version", MakeNamedHeader<CWordMimeHeader>);
        table.Add("Content-Transfer-Encoding", MakeNamedHeader<CWordMimeHeader>);
        table.Add("Content-Disposition", MakeFixedHeader<CContentDispositionHeader>);
        table.Add("Content-ID", MakeNamedHeader<CMessageIdMimeHeader>);
        table.Add("Content-Type", MakeFixedHeader<CContentTypeHeader>);
        return table;
    }();
    return factory;
}

std::shared_ptr<CMimeHeader> MakeHeader(const CMimeHeaderFactory& factory, const std::string& name)
{
    if (CMimeHeaderFactory::Maker maker = factory.Find(name))
        return maker(name);
    return std::make_shared<CUnstructuredMimeHeader>(name);
}

std::shared_ptr<CMimeHeader> CreateHeaderFromText(const std::string& name, const char* value, size_t length,
                                                  const CMimeHeaderFactory& factory, bool* failed, bool quiet)
{
    const std::string text = value != nullptr ? std::string(value, length) : std::string();
    auto parses = [&](const std::shared_ptr<CMimeHeader>& header) {
        try {
            header->Parse(value, length);
            return true;
        } catch (const CException& e) {
            if (failed != nullptr)
                *failed = true;
            if (quiet)
                return false;
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
            if (text != " " && text != "\t")
                Logging::LogFormat(Logging::Warning, L"Unable to parse header '%s': %s", StringW(name).c_str(),
                                   StringW(LoggableHeaderValue(name, text)).c_str());
        }
        return false;
    };
    if (std::shared_ptr<CMimeHeader> header = MakeHeader(factory, name); parses(header))
        return header;
    if (std::shared_ptr<CMimeHeader> header = std::make_shared<CUnstructuredMimeHeader>(name); parses(header))
        return header;
    return nullptr;
}

// IMimeHeaderContainer

Value IMimeHeaderContainer::GetHeaderValue(const char* name) const
{
    HeaderPtr header = FindHeader(name);
    return header ? header->GetValue() : Value();
}

std::string IMimeHeaderContainer::GetHeaderText(const char* name, bool& present) const
{
    HeaderPtr header = FindHeader(name);
    present = header != nullptr;
    if (!present)
        return std::string();
    if (auto text = std::dynamic_pointer_cast<CUnstructuredMimeHeader>(header))
        return text->GetText().ToAnsi();
    return header->FormatValue(CP_ACP, false);
}

void IMimeHeaderContainer::SetHeaderValue(const char* name, const Value& value)
{
    if (value.IsValueNull())
        return;
    HeaderPtr header = FindHeader(name);
    if (!header)
        header = CreateHeader(name);
    header->SetValue(value);
}

StringW IMimeHeaderContainer::GetContentTypeText() const
{
    auto header = std::dynamic_pointer_cast<CContentTypeHeader>(FindHeader("Content-Type"));
    return header ? header->GetMediaType() : StringW();
}

int32_t IMimeHeaderContainer::GetContentTypeId() const
{
    StringW text = GetContentTypeText();
    return text.empty() ? ContentTypeTextPlain : GetContentType(text);
}

std::shared_ptr<CContentTypeHeader> IMimeHeaderContainer::GetContentTypeHeader()
{
    return GetTypedHeader<CContentTypeHeader>(*this, "Content-Type");
}

std::shared_ptr<CContentDispositionHeader> IMimeHeaderContainer::GetContentDispositionHeader()
{
    return GetTypedHeader<CContentDispositionHeader>(*this, "Content-Disposition");
}

void IMimeHeaderContainer::SetContentType(int32_t contentTypeId)
{
    GetContentTypeHeader()->SetMediaType(GetContentTypeName(contentTypeId));
}

// CMimeHeaderMap

CMimeHeaderMap::HeaderPtr CMimeHeaderMap::FindHeader(const char* name, const CMimeHeader* after) const
{
    if (name == nullptr)
        return nullptr;
    auto [first, last] = m_headers.equal_range(name);
    if (after == nullptr)
        return first == last ? nullptr : first->second;
    for (auto it = first; it != last; ++it) {
        if (it->second.get() == after) {
            ++it;
            return it == last ? nullptr : it->second;
        }
    }
    return nullptr;
}

bool CMimeHeaderMap::HasHeaders() const
{
    return !m_headers.empty();
}

void CMimeHeaderMap::AddHeader(const HeaderPtr& header)
{
    if (header)
        m_headers.emplace(header->GetName(), header);
}

void CMimeHeaderMap::RemoveHeaders(const char* name)
{
    if (name != nullptr)
        m_headers.erase(name);
}

void CMimeHeaderMap::ClearHeaders()
{
    m_headers.clear();
}

CMimeHeaderMap::HeaderPtr CMimeHeaderMap::CreateHeader(const char* name)
{
    HeaderPtr header = MakeHeader(GetMimeHeaderFactory(), name);
    AddHeader(header);
    return header;
}

void CMimeHeaderMap::FormatHeaders(IOutStream& stream, uint32_t codePage, bool fold, const char* leftOut) const
{
    std::vector<HeaderPtr> headers;
    headers.reserve(m_headers.size());
    for (const auto& entry : m_headers) {
        if (leftOut == nullptr || _stricmp(entry.first.c_str(), leftOut) != 0)
            headers.push_back(entry.second);
    }
    std::stable_sort(headers.begin(), headers.end(), [](const HeaderPtr& left, const HeaderPtr& right) {
        if (left->GetOrder() != right->GetOrder())
            return left->GetOrder() < right->GetOrder();
        return left->GetName() < right->GetName();
    });
    for (const HeaderPtr& header : headers) {
        std::string line = header->Format(codePage, fold);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.empty())
            continue;
        line += "\r\n";
        stream.Write(line.data(), line.size());
    }
}

// The header block

size_t ParseHeaderBlock(const char* data, size_t length, IMimeHeaderContainer& container,
                        const CMimeHeaderFactory& factory)
{
    container.ClearHeaders();
    if (data == nullptr || length == 0)
        return 0;

    size_t position = 0;
    int32_t order = 0;
    int failures = 0;
    // A head of many bad lines must not flood the log: the first few are
    // told line by line, the rest by their number.
    constexpr int ToldFailures = 3;
    int told = 0;
    int untold = 0;
    while (position < length) {
        const size_t start = position;
        size_t lineFeed = std::string::npos;
        for (size_t search = start;;) {
            const void* found = memchr(data + search, '\n', length - search);
            if (found == nullptr) {
                lineFeed = std::string::npos;
                break;
            }
            lineFeed = static_cast<const char*>(found) - data;
            const bool lineIsEmpty = lineFeed == start || (lineFeed == start + 1 && data[start] == '\r');
            if (!lineIsEmpty && lineFeed + 1 < length && IsBlank(data[lineFeed + 1])) {
                search = lineFeed + 1;
                continue;
            }
            break;
        }
        if (lineFeed == std::string::npos) {
            Logging::Log(Logging::Warning, L"Headers not properly terminated");
            position = length;
            break;
        }
        position = lineFeed + 1;
        if (lineFeed == start || (lineFeed == start + 1 && data[start] == '\r'))
            break;

        size_t first = start;
        size_t last = lineFeed + 1;
        while (first < last && isspace(static_cast<unsigned char>(data[first])))
            ++first;
        while (last > first && isspace(static_cast<unsigned char>(data[last - 1])))
            --last;
        const std::string line(data + first, last - first);

        size_t i = 0;
        while (i < line.size()) {
            const unsigned char ch = static_cast<unsigned char>(line[i]);
            if (ch < 0x20 || ch == 0x7F || ch == ' ' || ch == ':')
                break;
            ++i;
        }
        const std::string name = line.substr(0, i);
        while (i < line.size() && IsBlank(line[i]))
            ++i;

        std::shared_ptr<CMimeHeader> header;
        bool emptyValue = false;
        bool failed = false;
        const bool quiet = told >= ToldFailures;
        if (i < line.size() && line[i] == ':') {
            ++i;
            while (i < line.size() && IsBlank(line[i]))
                ++i;
            if (i == line.size())
                emptyValue = true;
            else if (!name.empty())
                header = CreateHeaderFromText(name, line.data() + i, line.size() - i, factory, &failed, quiet);
        }
        if (!header) {
            ++failures;
            failed = failed || (!emptyValue && name.size() < line.size() &&
                                line != "Microsoft Mail Internet Headers Version 2.0");
            if (failed && !quiet)
                Logging::Log(Logging::Warning,
                             (L"Unable to parse MIME header: " + StringW(LoggableHeaderValue(name, line))).c_str());
        }
        if (failed)
            ++(quiet ? untold : told);
        if (header) {
            header->SetRawLine(line);
            header->SetOrder(order++);
            container.AddHeader(header);
        }
    }
    if (untold > 0)
        Logging::LogFormat(Logging::Warning, L"Unable to parse %d more MIME headers", untold);
    if (!container.HasHeaders() && failures > 0)
        Logging::Log(Logging::Error, L"No parsable headers found");
    return position;
}

} // namespace Quenzal::Net

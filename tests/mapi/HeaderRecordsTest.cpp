#include "ClientId.h"
#include "Logging.h"
#include "TestSupport.h"
#include "TransportHeaderScan.h"

#include <cctype>
#include <map>
#include <set>
#include <sstream>

using namespace Quenzal;
using namespace Quenzal::Mapi;

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A case of data/transport-headers.txt (its head comment gives the format):
// the block, and what scanning it gives as "<field>: <value>" lines, with
// "Logged" and "Raises: <text>" among them.
struct HeaderBlockCase {
    std::string kind, title, block;
    std::set<std::string> expected;
};

std::vector<HeaderBlockCase> ReadHeaderBlockCases()
{
    std::istringstream file(QzlTest::ReadWholeFile(L"mapi\\data\\transport-headers.txt"));
    std::vector<HeaderBlockCase> cases;
    for (std::string line; std::getline(file, line);) {
        ReplaceAll(line, "{client}", App::GetClientId().ToAnsi());
        if (line.starts_with("== ")) {
            size_t blank = line.find(' ', 3);
            cases.push_back({line.substr(3, blank - 3), line.substr(blank + 1), "", {}});
        } else if (line.starts_with("=> ")) {
            cases.back().expected.insert(line.substr(3));
        } else if (!cases.empty() && !line.empty() && cases.back().expected.empty()) {
            bool ended = line.back() != '\\';
            line.resize(line.size() - (ended ? 0 : 1));
            for (auto [escape, ch] : {std::pair{"\\n", "\n"}, {"\\r", "\r"}, {"\\t", "\t"}})
                ReplaceAll(line, escape, ch);
            cases.back().block += ended ? line + "\r\n" : line;
        }
    }
    EXPECT_GE(cases.size(), 10u);
    return cases;
}

// What the case's scan gives, in the data file's form.
std::set<std::string> Scan(const HeaderBlockCase& c, const QzlTest::CLogCapture& log)
{
    std::map<std::string, StringW> fields;
    try {
        if (c.kind == "appliance") {
            QuenzalHeaders headers = ScanQuenzalHeaders(c.block);
            fields = {{"Url", headers.Url}, {"DebugId", headers.DebugId}};
        } else {
            AuthenticationProbeProps props = ScanAuthenticationProbeProps(c.block);
            fields = {{"ClientId", props.ClientId}, {"StubbingEnabled", props.StubbingEnabled ? L"true" : L""},
                      {"ValidationToken", props.ValidationToken}};
        }
    } catch (const CException& e) {
        fields = {{"Raises", e.GetDescription()}};
    }
    std::set<std::string> result;
    for (const auto& [name, value] : fields) {
        if (!value.empty())
            result.insert(name + ": " + value.ToAnsi());
    }
    std::istringstream lines(log.Text());
    size_t records = 0;
    for (std::string line; std::getline(lines, line);)
        records += !line.empty() && std::isdigit(static_cast<unsigned char>(line[0]));
    if (log.Contains("complete headers to follow"))
        result.insert(records == 1 ? "Logged" : "Logged with forged records");
    return result;
}

} // namespace

// The appliance record logs the block at Trace, the probe at Debug: with
// trace logging off only the probe's lines remain.
TEST(TransportHeaderScan, BlocksOfTheDataFile)
{
    for (bool trace : {true, false}) {
        bool previous = Logging::EnableTraceLogging(trace);
        for (const HeaderBlockCase& c : ReadHeaderBlockCases()) {
            QzlTest::CLogCapture log;
            std::set<std::string> expected = c.expected;
            if (!trace && c.kind == "appliance")
                expected.erase("Logged");
            EXPECT_EQ(Scan(c, log), expected) << c.kind << ": " << c.title << (trace ? " (trace on)" : "");
        }
        Logging::EnableTraceLogging(previous);
    }
}

// The scans and MessageHeadersTest cover the other rules; a received-by
// address the store gives has been resolved already.
TEST(HeaderRecords, AReceivedByAddressNeedsTextOnBothSidesOfItsAt)
{
    for (const auto& [address, complete] : std::initializer_list<std::pair<const wchar_t*, bool>>{
             {L"u@e", true}, {L"@example.com", false}, {L"user@", false}, {L"user", false}})
        EXPECT_EQ(IsCompleteQuenzalMessageProps({L"https://a.example.com/", L"1", address}), complete) << address;
    EXPECT_FALSE(IsCompleteQuenzalMessageProps({L"https://a.example.com/", L"", L"u@e"}));
}

#include "ClientId.h"
#include "HeaderRecords.h"
#include "Logging.h"
#include "TestSupport.h"
#include "TransportHeaderScan.h"

#include <map>
#include <sstream>

using namespace Quenzal;
using namespace Quenzal::Mapi;

namespace {

// A case of data/transport-headers.txt (its head comment gives the format).
struct HeaderBlockCase {
    std::string kind;
    std::string title;
    std::string block;
    std::map<std::string, std::string> fields;
    bool logged = false;
    std::string raises;
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string BlockLine(std::string line)
{
    bool ended = line.empty() || line.back() != '\\';
    if (!ended)
        line.pop_back();
    for (auto [escape, ch] : {std::pair{"\\n", "\n"}, {"\\r", "\r"}, {"\\t", "\t"}})
        ReplaceAll(line, escape, ch);
    return ended ? line + "\r\n" : line;
}

std::vector<HeaderBlockCase> ReadHeaderBlockCases(const std::string& client)
{
    std::istringstream file(QzlTest::ReadWholeFile(L"mapi\\data\\transport-headers.txt"));
    std::vector<HeaderBlockCase> cases;
    for (std::string line; std::getline(file, line);) {
        ReplaceAll(line, "{client}", client);
        if (line.starts_with("== ")) {
            size_t blank = line.find(' ', 3);
            cases.emplace_back();
            cases.back().kind = line.substr(3, blank - 3);
            cases.back().title = line.substr(blank + 1);
        } else if (line == "=> Logged") {
            cases.back().logged = true;
        } else if (line.starts_with("=> Raises: ")) {
            cases.back().raises = line.substr(11);
        } else if (line.starts_with("=> ")) {
            size_t colon = line.find(": ");
            cases.back().fields[line.substr(3, colon - 3)] = line.substr(colon + 2);
        } else if (!cases.empty() && !line.empty() && cases.back().fields.empty()) {
            cases.back().block += BlockLine(line);
        }
    }
    EXPECT_GE(cases.size(), 10u);
    return cases;
}

// The non-empty fields of the record the case's scan reads.
std::map<std::string, std::string> ScanFields(const HeaderBlockCase& c)
{
    std::map<std::string, std::string> fields;
    auto put = [&](const char* name, const StringW& value) {
        if (!value.empty())
            fields[name] = value.ToAnsi();
    };
    if (c.kind == "appliance") {
        QuenzalHeaders headers = ScanQuenzalHeaders(c.block);
        put("Url", headers.Url);
        put("DebugId", headers.DebugId);
    } else {
        AuthenticationProbeProps props = ScanAuthenticationProbeProps(c.block);
        put("ClientId", props.ClientId);
        put("ValidationToken", props.ValidationToken);
        put("StubbingEnabled", props.StubbingEnabled ? L"true" : L"");
    }
    return fields;
}

} // namespace

// The block is logged at Trace for the appliance record and at Debug for the
// probe, so with trace logging off only the probe's lines remain.
TEST(TransportHeaderScan, BlocksOfTheDataFile)
{
    std::string client = App::GetClientId().ToAnsi();
    for (bool trace : {true, false}) {
        bool previous = Logging::EnableTraceLogging(trace);
        for (const HeaderBlockCase& c : ReadHeaderBlockCases(client)) {
            SCOPED_TRACE(c.kind + ": " + c.title + (trace ? " (trace on)" : ""));
            QzlTest::CLogCapture log;
            std::map<std::string, std::string> fields;
            std::string raised;
            try {
                fields = ScanFields(c);
            } catch (const CException& e) {
                raised = e.GetDescription().ToAnsi();
            }
            EXPECT_EQ(raised, c.raises);
            if (c.raises.empty()) {
                EXPECT_EQ(fields, c.fields);
            }
            bool logged = c.logged && (trace || c.kind == "probe");
            EXPECT_EQ(log.Contains("complete headers to follow"), logged);
            if (logged && !c.block.empty()) {
                EXPECT_TRUE(log.Contains(c.block));
            }
        }
        Logging::EnableTraceLogging(previous);
    }
}

TEST(HeaderRecords, ValidityOfTheRecords)
{
    EXPECT_TRUE(AreQuenzalHeadersValid({L"https://appliance.example.com/", L"1"}));
    EXPECT_FALSE(AreQuenzalHeadersValid({L"https://appliance.example.com/", L""}));
    EXPECT_FALSE(AreQuenzalHeadersValid({L"appliance.example.com", L"1"}));
    for (const auto& [address, complete] : std::initializer_list<std::pair<const wchar_t*, bool>>{
             {L"user@example.com", true}, {L"u@e", true}, {L"@example.com", false}, {L"user@", false},
             {L"user", false}, {L"", false}})
        EXPECT_EQ(IsCompleteQuenzalMessageProps({L"https://a.example.com/", L"1", address}), complete) << address;
    EXPECT_FALSE(IsCompleteQuenzalMessageProps({L"", L"1", L"user@example.com"}));

    StringW client = App::GetClientId();
    EXPECT_TRUE(AreAuthenticationProbePropsValid({client, L"token", false}));
    EXPECT_FALSE(AreAuthenticationProbePropsValid({client, L"", true}));
    EXPECT_FALSE(AreAuthenticationProbePropsValid({L"", L"token", true}));
    StringW other = L"A" + client.substr(1);
    EXPECT_EQ(QzlTest::Raised([&] { AreAuthenticationProbePropsValid({other, L"token", false}); }).GetDescription(),
              L"Received authentication probe with unexpected client ID: " + other);
}

// The large-file requests against the stand-in appliance: the multipart
// upload as the appliance received it, the preamble document, their answer
// rules, and the progress dialog's Cancel during an upload.

#include "ApplianceStandIn.h"
#include "ComProgressDlg.h"
#include "File.h"
#include "NxoApiClient.h"
#include "NxoApiError.h"
#include "NxoClientConfig.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoTestSupport.h"
#include "Os.h"
#include "TestSupport.h"
#include "Ui.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

using namespace Quenzal;
using NxoTest::CAddInTurn;
using NxoTest::CApplianceStandIn;
using NxoTest::HeaderOf;

namespace {

struct CUploadFile {
    StringW path = QzlTest::UniqueTempPath(L"kvd");
    std::string bytes;
    explicit CUploadFile(size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            bytes.push_back(static_cast<char>(i * 7 + (i >> 11)));
        Os::WriteFileContents(path, bytes.data(), bytes.size());
    }
    ~CUploadFile() { Os::TryDeleteFile(path); }
};

template <class F>
StringW Description(F&& operation)
{
    try {
        operation();
    } catch (const CException& e) {
        return e.GetDescription();
    }
    return L"no failure";
}

} // namespace

TEST(NxoApiKvd, UploadIsResentWholeAfterTheChallengeAndThePreambleNamesTheFiles)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CNxoApiClient client;
    CUploadFile file(300000);
    KvdRequestInfo info{L"{0A1B2C3D-0000-4000-8000-00000000000F}", L"", {L"a@x.com", L"b@y.com"}, nullptr};

    const StringW id = client.StoreKvdFile(info, file.path, L"Report 1.xyzq");
    auto uploads = appliance.Seen("stub_attachment.cgi");
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0]["status"].asInt(), 401);
    EXPECT_GT(uploads[0]["body_length"].asUInt64(), file.bytes.size());
    EXPECT_EQ(uploads[0]["body_md5"], uploads[1]["body_md5"]) << "the same body, whole, both times";
    EXPECT_EQ(HeaderOf(uploads[1], "guid"), "{0A1B2C3D-0000-4000-8000-00000000000F}");
    EXPECT_EQ(HeaderOf(uploads[1], "Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    const Json::Value parts = uploads[1]["parts"];
    ASSERT_EQ(parts.size(), 3u) << "no sender part for an empty sender";
    EXPECT_EQ(parts[0]["name"].asString() + "=" + parts[0]["data"].asString() + "|" + parts[1]["name"].asString() +
                  "=" + parts[1]["data"].asString(),
              "guid={0A1B2C3D-0000-4000-8000-00000000000F}|recipients=a@x.com,b@y.com");
    EXPECT_TRUE(parts[0]["content_type"].isNull() && parts[1]["content_type"].isNull());
    EXPECT_EQ(parts[2]["name"].asString() + "|" + parts[2]["filename"].asString() + "|" +
                  parts[2]["content_type"].asString(),
              "attachment|Report 1.xyzq|application/octet-stream");
    const std::string md5 = BytesToHex(CalculateMd5(file.bytes.data(), file.bytes.size()));
    EXPECT_EQ(parts[2]["md5"].asString(), md5);
    EXPECT_EQ(id.ToAnsi(), "KVD0001-" + md5.substr(0, 8));

    info.Sender = L"me@x.com";
    client.StoreKvdFile(info, file.path, L"notes.txt");
    const Json::Value known = appliance.Seen("stub_attachment.cgi").back()["parts"];
    ASSERT_EQ(known.size(), 4u);
    EXPECT_EQ(known[1]["name"].asString() + "=" + known[1]["data"].asString(), "sender=me@x.com");
    EXPECT_EQ(known[3]["content_type"].asString(), "text/plain");

    appliance.Switch("stub_attachment.cgi", "type=none&body=ID%0D");
    EXPECT_EQ(client.StoreKvdFile(info, file.path, L"a.bin"), L"ID\r") << "taken as it came";
    appliance.Switch("stub_attachment.cgi", "type=text/html");
    EXPECT_EQ(Description([&] { client.StoreKvdFile(info, file.path, L"a.bin"); }), L"200 OK");
    appliance.Switch("stub_attachment.cgi", "type=text/plain&body=ID%0Aline");
    EXPECT_EQ(Description([&] { client.StoreKvdFile(info, file.path, L"a.bin"); }),
              L"Stored attachment ID is invalid");

    const StringW preamble = client.GetKvdPreamble(info, {{L"KVD1", L"Report 1.xyzq", 300000}, {L"KVD2", L"n", 5}});
    auto request = appliance.Seen("stub_preamble.cgi").back();
    EXPECT_EQ(request["body"].asString(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<doFormatStub>\r\n"
                                          "\t<guid>{0A1B2C3D-0000-4000-8000-00000000000F}</guid>\r\n"
                                          "\t<sender>me@x.com</sender>\r\n\t<recipient>a@x.com</recipient>\r\n"
                                          "\t<recipient>b@y.com</recipient>\r\n\t<link>\r\n"
                                          "\t\t<filename>Report 1.xyzq</filename>\r\n\t\t<id>KVD1</id>\r\n"
                                          "\t\t<size>300000</size>\r\n\t</link>\r\n\t<link>\r\n"
                                          "\t\t<filename>n</filename>\r\n\t\t<id>KVD2</id>\r\n"
                                          "\t\t<size>5</size>\r\n\t</link>\r\n</doFormatStub>\r\n");
    EXPECT_EQ(HeaderOf(request, "Content-Type"), "text/xml");
    EXPECT_EQ(HeaderOf(request, "guid"), "{0A1B2C3D-0000-4000-8000-00000000000F}");
    EXPECT_NE(preamble.find(L"<a href=\"https://appliance/kvd/KVD1\">Report 1.xyzq</a>"), StringW::npos);
    appliance.Switch("stub_preamble.cgi", "type=text/plain");
    EXPECT_EQ(Description([&] { client.GetKvdPreamble(info, {}); }), L"200 OK");
}

TEST(NxoApiKvd, CancelButtonOfTheProgressDialogCancelsTheUpload)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        CAddInTurn turn;
        CApplianceStandIn appliance;
        turn.Configure(appliance);
        appliance.Switch("stub_attachment.cgi", "delay=60");
        CNxoApiClient client;
        CUploadFile file(100000);
        CComProgressDlg dialog(L"Quenzal Inbox Rampart", 322, 1);
        dialog.Show(nullptr);
        HWND cancel = ::FindWindowExW(Ui::GetWindowHandleFromOleWindow(dialog.GetDialog()), nullptr, L"Button",
                                      nullptr);
        ASSERT_NE(cancel, nullptr);
        // Joined also when a failure leaves the test early.
        std::jthread user([cancel] {
            ::Sleep(1000);
            ::PostMessageW(cancel, BM_CLICK, 0, 0);
        });
        const DWORD start = ::GetTickCount();
        KvdRequestInfo info{L"{G}", L"", {}, dialog.GetDialog()};
        StringW userText = L"none";
        try {
            client.StoreKvdFile(info, file.path, L"big.bin");
        } catch (const CNxoApiError& e) {
            EXPECT_EQ(e.GetDescription(), L"Request canceled");
            userText = e.GetUserMessage();
        }
        user.join();
        EXPECT_EQ(userText, L"") << "a cancel shows nothing";
        EXPECT_LT(::GetTickCount() - start, 30000u);
        dialog.Close();
        EXPECT_TRUE(dialog.IsCancelled()) << "the answer outlives the dialog";
    }
    ::CoUninitialize();
}

TEST(NxoApiKvd, SmallRequestsEndWithinTheirTimeLimitTransfersOnceTheyStall)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CUploadFile file(100000);
    const struct {
        const char* script;
        const char* switches;
        int stallSeconds; // the longest wait without a byte moving
        const wchar_t* failure;
        double least, most; // seconds the request takes
        size_t servers = 0;  // stand-ins named in mail, marked under both their names at once
    } cases[] = {
        {"get_info.cgi", "silent=1", 60, L"Network error", 3, 30},
        {"get_info.cgi", "trickle=1", 60, L"Network error", 3, 30},
        {"stub_attachment.cgi", "silent=1", 2, L"Network error", 2, 30},
        {"stub_attachment.cgi", "delay=4", 60, L"no failure", 4, 30},
        {"stub_attachment.cgi", "trickle=1", 3, L"Network error", 3, 30},
        {"mark.cgi", "flood=100000", 60, L"HTTP response has more than 16 interim answers", 0, 30},
        {"get_info.cgi", "flood=100000", 60, L"HTTP response has more than 16 interim answers", 0, 30},
        {"stub_attachment.cgi", "flood=100000", 60, L"HTTP response has more than 16 interim answers", 0, 30},
        {"mark.cgi", "pad=60000000&gzip=1", 60, L"Decompressed data exceeds the limit of 1048576 bytes", 0, 30},
        {"stub_attachment.cgi", "pad=1048577", 60, L"HTTP response body exceeds the limit of 1.0M", 0, 30},
        // Redirected while the target's turn is held and awaited; then the
        // next requests to both servers go at once, never two at one server.
        // (Another host's challenge gets no answer made for this one.)
        {"mark.cgi", "delay=0.3&redirect=localhost", 60, L"401 Unauthorized", 0, 30},
        {"mark.cgi", "delay=0.3&redirect=127.0.0.1", 60, L"401 Unauthorized", 0, 30},
        {"get_info.cgi", "redirect=localhost", 60, L"401 Unauthorized", 0, 30},
        // Redirecting servers at least as many as the threads of servers named
        // in mail: the marks to the answering ones end at once all the same.
        {"mark.cgi", "delay=0.5&redirect=localhost", 60, L"no failure", 0, 15, 8},
        {"mark.cgi", "delay=0.5&redirect=localhost", 60, L"no failure", 0, 15, 12},
    };
    std::vector<std::unique_ptr<CApplianceStandIn>> named;
    for (const auto& c : cases) {
        const QzlTest::CLogCapture log;
        appliance.Switch("", "clear=1");
        appliance.Switch(c.script, c.switches);
        CNxoApiClient client;
        // Many servers share a few threads on a busy machine: their marks take longer, though far from the limit.
        client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, c.servers ? 20 : 3, 0));
        client.SetTimeout(DateTimeSpan(0, 0, 0, c.stallSeconds, 0));
        const char* redirect = c.servers ? nullptr : std::strstr(c.switches, "redirect=");
        for (size_t i = named.size(); i < c.servers; ++i) {
            named.push_back(std::make_unique<CApplianceStandIn>());
            named.back()->AddAccount(CNxoOutlookAddInConfig::GetInstance().GetAccountName(),
                                     CNxoOutlookAddInConfig::GetInstance().GetAccountKey());
        }
        for (size_t i = 0; i < c.servers; ++i)
            named[i]->Switch(c.script, c.switches);
        std::vector<CNxoApiClient::ContextPtr> redirected, answering;
        for (size_t i = 0; i < c.servers; ++i)
            redirected.push_back(client.MarkMessage(named[i]->Uri(), L"r", true));
        for (size_t i = 0; i < c.servers; ++i)
            answering.push_back(client.MarkMessage(named[i]->Uri("localhost"), L"a", true));
        const std::wstring target = redirect ? appliance.Uri(redirect + 9) : std::wstring();
        const std::wstring other = appliance.Uri(target == appliance.Uri() ? "localhost" : "127.0.0.1");
        // The stand-in stamps in Unix seconds; an earlier row's answer may still be going out.
        FILETIME now;
        ::GetSystemTimePreciseAsFileTime(&now);
        const double rowStart = static_cast<double>((uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) -
                                                    116444736000000000ull) / 1e7;
        std::vector<std::pair<CNxoApiClient::ContextPtr, StringW>> marks;
        if (redirect)
            marks = {{client.MarkMessage(target, L"held", true), L"no failure"},
                     {client.MarkMessage(target, L"next", true), L"no failure"}};
        const auto wait = [](const CNxoApiClient::ContextPtr& mark) {
            Os::WaitForObject(mark->GetCompletionEvent(), DateTimeSpan());
            if (!mark->IsSuccessful())
                throw CNxoApiError(mark);
        };
        const ULONGLONG start = ::GetTickCount64();
        const StringW failure = Description([&] {
            if (std::string(c.script) == "get_info.cgi") {
                CNxoClientConfig config;
                client.GetClientConfiguration(config);
            } else if (c.servers) {
                std::for_each(answering.begin(), answering.end(), wait);
            } else if (std::string(c.script) == "mark.cgi") {
                wait(client.MarkMessage(redirect ? other : std::wstring(), L"m", true));
            } else {
                client.StoreKvdFile(KvdRequestInfo{L"{G}", L"", {}, nullptr}, file.path, L"a.bin");
            }
        });
        for (const auto& mark : redirected)
            EXPECT_EQ(Description([&] { wait(mark); }), L"401 Unauthorized") << "another host's challenge";
        if (redirect) {
            marks.emplace_back(client.MarkMessage(target, L"after", true), L"no failure");
            marks.emplace_back(client.MarkMessage(other, L"after", true),
                               std::string(c.script) == "mark.cgi" ? c.failure : L"no failure");
            for (const auto& [mark, expected] : marks)
                EXPECT_EQ(Description([&] { wait(mark); }), expected) << c.switches;
            std::map<std::string, double> ends; // per host name, the last answer's end
            for (const Json::Value& request : appliance.Seen()) {
                if (request["start"].asDouble() < rowStart)
                    continue;
                double& end = ends[HeaderOf(request, "Host")];
                EXPECT_GE(request["start"].asDouble(), end) << "two at one server " << c.switches << request["target"];
                end = std::max(end, request["end"].asDouble());
            }
        }
        const double seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
        EXPECT_EQ(failure, c.failure) << c.script << " " << c.switches;
        EXPECT_GT(seconds, c.least * 0.9) << c.script << " " << c.switches;
        EXPECT_LT(seconds, c.most) << c.script << " " << c.switches;
        EXPECT_LT(log.Text().size(), 64u * 1024) << c.script << " " << c.switches;
    }
}

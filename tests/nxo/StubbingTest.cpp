// Large files sent as links: the link files, the checks a link must pass at
// send time, and the stubbing of a message against the stand-in appliance
// (upload, preamble, stub header, body).

#include "ApplianceStandIn.h"
#include "CaughtException.h"
#include "FakeAttachments.h"
#include "File.h"
#include "FileSystem.h"
#include "LinkSeal.h"
#include "Localization.h"
#include "MapiTestSupport.h"
#include "NxoApiClient.h"
#include "NxoApiError.h"
#include "NxoOutlookAddIn.h"
#include "NxoTestSupport.h"
#include "Path.h"
#include "Stubbing.h"
#include "TestSupport.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Quenzal;
using namespace QzlFake;
namespace Stubbing = Quenzal::Stubbing;

namespace {

constexpr uint64_t MiB = 1024 * 1024;
using NxoTest::CLinkedFile;

// A draft over a message of the test provider, as Outlook would hand it to ItemSend.
class StubbingTest : public QzlTest::CMapiProviderTest {
protected:
    void SetUp() override
    {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        QzlTest::CMapiProviderTest::SetUp();
        message = Message({});
        item = CFakeObject::Create();
        item->Property(L"Subject", L"Quarterly figures")
            .Property(L"SenderEmailType", L"SMTP")
            .Property(L"SenderEmailAddress", L"me@example.com")
            .Property(L"MAPIOBJECT", _variant_t(static_cast<IUnknown*>(message.GetInterfacePtr())));
        attachments = std::make_unique<CFakeAttachments>(
            *item, std::vector<std::wstring>{L"b@y.com", L"a@x.com", L"a@x.com", L"bad,one@x.com", L"@x.com"});
        draft = Quenzal::OutlookAddIn::CDispatchObject(item.Get());
        turn.Configure(appliance);
    }
    void TearDown() override
    {
        draft = {};
        attachments.reset();
        item = nullptr;
        message = nullptr;
        QzlTest::CMapiProviderTest::TearDown();
        ::CoUninitialize();
    }
    StringW StubHeader()
    {
        MAPINAMEID id{const_cast<GUID*>(&PS_INTERNET_HEADERS), MNID_STRING, {}};
        id.Kind.lpwstrName = const_cast<wchar_t*>(L"X-Quenzal-PluginStubId");
        LPSPropValue value = nullptr;
        HRESULT hr = Mapi::HrGetOneProp(message, control->GetNamedPropertyTag(id, PT_UNICODE), &value);
        Mapi::CMapiBuffer<SPropValue> held = Mapi::TakeMapiBuffer(hr, value);
        return held ? StringW(held.Get()->Value.lpszW) : StringW(L"(none)");
    }
    std::wstring Names()
    {
        std::wstring names;
        for (const auto& [name, bytes] : attachments->List())
            names += name + L"|";
        return names;
    }
    StringW Failure(const std::function<void()>& body)
    {
        try {
            body();
        } catch (const CException& e) {
            return e.GetDescription();
        }
        return L"no failure";
    }

    NxoTest::CAddInTurn turn;
    NxoTest::CApplianceStandIn appliance;
    Mapi::IMessagePtr message;
    CFakeRef item;
    std::unique_ptr<CFakeAttachments> attachments;
    Quenzal::OutlookAddIn::CDispatchObject draft;
};

} // namespace

TEST_F(StubbingTest, LinkFilesAreWrittenRecognisedReadBackAndCheckedAgain)
{
    CLinkedFile file(L"Report & 1.pdf", 1000);
    Stubbing::AttachLinkFile(draft, file.path);
    auto list = attachments->List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, L"Report & 1.pdf.qenz");
    std::string escaped = StringW(file.path).ToUtf8();
    escaped.replace(escaped.find('&'), 1, "&amp;");
    EXPECT_EQ(list[0].second, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<AttachedLink>\r\n\t<Path>" + escaped +
                                  "</Path>\r\n\t<Seal>" + Stubbing::SealLinkPath(file.path).ToUtf8() +
                                  "</Seal>\r\n</AttachedLink>\r\n");
    const auto first = draft.GetDispatch(L"Attachments").GetDispatch(L"Item", {1L});
    EXPECT_EQ(Stubbing::GetPathFromLinkedAttachment(first).Link.Path, file.path);
    EXPECT_TRUE(Stubbing::HasLinkedAttachments(draft));
    EXPECT_TRUE(Stubbing::IsLinkFile(L"a.pdf.qenz"));
    EXPECT_FALSE(Stubbing::IsLinkFile(L"a.pdf.QENZ") || Stubbing::IsLinkFile(L"qenz") ||
                 Stubbing::IsLinkFile(L"a.qenz.pdf"));

    // A link file is read up to 4096 bytes, and no further.
    std::string padded = Stubbing::FormatLinkXml(file.path, L"");
    padded.insert(padded.find("<AttachedLink>"), 4096 - padded.size(), ' ');
    CFakeRef exact = attachments->Add(L"exact.qenz", padded);
    CFakeRef over = attachments->Add(L"over.qenz", padded + " ");
    EXPECT_EQ(Stubbing::GetPathFromLinkedAttachment(Quenzal::OutlookAddIn::CDispatchObject(exact.Get())).Link.Path,
              file.path);
    EXPECT_EQ(Failure([&] {
                  Stubbing::GetPathFromLinkedAttachment(Quenzal::OutlookAddIn::CDispatchObject(over.Get()));
              }),
              L"Size of link file is unexpectedly large");
    EXPECT_EQ(Failure([] { Stubbing::GetPathFromLink("<AttachedLink><Path/></AttachedLink>"); }),
              L"Unable to parse path from link XML");

    // At send time the path a link names is checked as if chosen anew.
    EXPECT_EQ(Stubbing::CheckLinkedPath(file.path, 1000), 1000u);
    EXPECT_EQ(Failure([&] { Stubbing::CheckLinkedPath(file.path, 999); }),
              FormatLocalizedMessage(375, FormatByteSize(1000), FormatByteSize(999)));
    for (const wchar_t* foreign : {L"\\\\server\\share\\a.pdf", L"\\\\?\\C:\\a.pdf", L"\\\\.\\C:\\a.pdf",
                                   L"relative\\a.pdf", L"C:\\a.pdf:stream"})
        EXPECT_EQ(Failure([&] { Stubbing::CheckLinkedPath(foreign, MiB); }),
                  GetLocalizedMessage(178) + L": " + foreign);
    EXPECT_EQ(Failure([] { Stubbing::CheckLinkedPath(L"C:\\tools\\setup.EXE", MiB); }),
              FormatLocalizedMessage(286, L".EXE"));
    const StringW folder = Os::CombinePath(Os::GetDirectoryFromPath(file.path), L"folder.pdf");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(Failure([&] { Stubbing::CheckLinkedPath(folder, MiB); }), GetLocalizedMessage(323) + L": " + folder);
}

// 20 MiB linked twice (paths differing in case) beside an ordinary file:
// uploaded once under the link met first (the last), described by the
// appliance's preamble, links gone.
TEST_F(StubbingTest, LargeLinkedFileUploadedAndMessageStubbed)
{
    CLinkedFile file(L"figures.bin", 20 * MiB);
    attachments->Add(L"notes.txt", "plain");
    std::wstring shouted = file.path;
    for (wchar_t& ch : shouted)
        ch = towupper(ch);
    Stubbing::AttachLinkFile(draft, shouted);
    Stubbing::AttachLinkFile(draft, file.path);

    Stubbing::StubLinks(nullptr, draft, *std::make_shared<CNxoApiClient>(), 20 * MiB);

    auto uploads = appliance.Seen("stub_attachment.cgi");
    ASSERT_FALSE(uploads.empty());
    const Json::Value parts = uploads.back()["parts"];
    ASSERT_EQ(parts.size(), 4u);
    const StringW stubId = StubHeader();
    EXPECT_EQ(parts[0]["data"].asString(), stubId.ToAnsi());
    EXPECT_EQ(parts[1]["data"].asString() + " " + parts[2]["data"].asString(), "me@example.com a@x.com,b@y.com");
    EXPECT_EQ(parts[3]["filename"].asString(), "figures.bin");
    EXPECT_EQ(parts[3]["md5"].asString(), BytesToHex(CalculateMd5(file.bytes.data(), file.bytes.size())));
    size_t answered = 0;
    for (const Json::Value& upload : uploads)
        answered += upload["status"].asInt() == 200;
    EXPECT_EQ(answered, 1u) << "the same file is uploaded once";
    auto preambles = appliance.Seen("stub_preamble.cgi");
    ASSERT_EQ(preambles.size() - (preambles.front()["status"].asInt() == 401), 1u);
    const std::string request = preambles.back()["body"].asString();
    EXPECT_NE(request.find("<size>20971520</size>"), std::string::npos);
    EXPECT_EQ(request.find("<link>", request.find("<link>") + 1), std::string::npos) << request;

    ASSERT_EQ(stubId.size(), 38u);
    EXPECT_EQ(item->Value(L"BodyFormat"), _variant_t(2L));
    const std::wstring body = item->Value(L"HTMLBody").bstrVal;
    EXPECT_NE(body.find(L"figures.bin</a>"), std::wstring::npos);
    EXPECT_EQ(body.substr(body.size() - 11), L"<p>body</p>");
    auto list = attachments->List();
    EXPECT_EQ(Names(), L"notes.txt|Linked Attachments.html|");
    EXPECT_EQ(StringW(body.substr(0, body.size() - 11)).ToUtf8(), list.back().second);
}

// A file with as long a name as a folder takes is linked under a name that
// fits, keeping its type, and stored under its own name.
TEST_F(StubbingTest, LongestFileNameIsLinkedAndStoredUnderItsOwnName)
{
    const std::wstring name = std::wstring(251, L'n') + L".pdf";
    CLinkedFile file(name.c_str(), 1000);
    Stubbing::AttachLinkFile(draft, file.path);
    EXPECT_EQ(Names(), std::wstring(246, L'n') + L".pdf.qenz|");
    Stubbing::StubLinks(nullptr, draft, *std::make_shared<CNxoApiClient>(), MiB);
    const auto uploads = appliance.Seen("stub_attachment.cgi");
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(uploads.back()["parts"][3]["filename"].asString(), StringW(name).ToUtf8());
}

// A link that cannot be deleted fails the stub after the uploads: the draft
// keeps its body, header and every link (the duplicate too), and the next
// try stubs it once.
TEST_F(StubbingTest, FailedStubLeavesTheDraftAsItWas)
{
    CLinkedFile first(L"first.bin", 1000);
    CLinkedFile second(L"second.bin", 1000);
    attachments->Add(L"notes.txt", "plain");
    for (const StringW* path : {&first.path, &second.path, &second.path})
        Stubbing::AttachLinkFile(draft, *path);
    const auto before = attachments->List();
    auto client = std::make_shared<CNxoApiClient>();
    attachments->undeletable.insert(L"first.bin.qenz");
    EXPECT_NE(Failure([&] { Stubbing::StubLinks(nullptr, draft, *client, MiB); }), L"no failure");
    EXPECT_EQ(attachments->List(), before);
    EXPECT_EQ(item->Value(L"BodyFormat"), _variant_t(1L));
    EXPECT_EQ(std::wstring(item->Value(L"HTMLBody").bstrVal), L"<p>body</p>");
    EXPECT_EQ(StubHeader(), L"(none)");

    attachments->undeletable.clear();
    // Preambles that the body could not hold whole: a NUL before or after
    // the links, another control character.
    using namespace std::string_literals;
    for (const std::string& preamble : {"\0<a>first.bin</a>"s, "<a>first.bin</a>\0"s, "<a>first.bin</a>\1"s}) {
        appliance.Switch("stub_preamble.cgi", "hexbody=" + BytesToHex(preamble));
        EXPECT_NE(Failure([&] { Stubbing::StubLinks(nullptr, draft, *client, MiB); }), L"no failure") << preamble;
        const BSTR body = item->Value(L"HTMLBody").bstrVal;
        EXPECT_EQ(std::wstring(body, ::SysStringLen(body)) + L"|" + StubHeader(), L"<p>body</p>|(none)");
        EXPECT_EQ(attachments->List(), before);
    }
    appliance.Switch("", "clear=1");
    Stubbing::StubLinks(nullptr, draft, *client, MiB);
    EXPECT_EQ(Names(), L"notes.txt|Linked Attachments.html|");
    EXPECT_EQ(StringW(item->Value(L"HTMLBody").bstrVal).ToUtf8(), attachments->List().back().second + "<p>body</p>");
}

// A link that fails its check (here one from a mail, without a seal) stops
// the send before any upload, wherever it stands among the links.
TEST_F(StubbingTest, RefusedLinksStopTheSendBeforeAnyUpload)
{
    CLinkedFile file(L"ok.bin", 1000);
    CLinkedFile script(L"run.vbs", 10);
    CLinkedFile big(L"big.bin", 2000);
    CLinkedFile mailed(L"mailed.bin", 10);
    auto client = std::make_shared<CNxoApiClient>();
    const std::pair<StringW, StringW> cases[] = {
        {L"\\\\server\\share\\plan.pdf", GetLocalizedMessage(178) + L": \\\\server\\share\\plan.pdf"},
        {script.path, FormatLocalizedMessage(286, L".vbs")},
        {big.path, FormatLocalizedMessage(375, FormatByteSize(2000), FormatByteSize(1500))},
        {mailed.path, GetLocalizedMessage(178) + L": " + mailed.path},
    };
    for (const bool refusedFirst : {false, true})
        for (const auto& [path, text] : cases) {
            const std::string refused =
                Stubbing::FormatLinkXml(path, path == mailed.path ? L"" : Stubbing::SealLinkPath(path));
            if (refusedFirst)
                attachments->Add(L"x.qenz", refused);
            Stubbing::AttachLinkFile(draft, file.path);
            if (!refusedFirst)
                attachments->Add(L"x.qenz", refused);
            EXPECT_EQ(Failure([&] { Stubbing::StubLinks(nullptr, draft, *client, 1500); }), text);
            EXPECT_EQ(Names(), refusedFirst ? L"x.qenz|ok.bin.qenz|" : L"ok.bin.qenz|x.qenz|");
            EXPECT_EQ(StubHeader(), L"(none)");
            while (!attachments->List().empty())
                draft.GetDispatch(L"Attachments").GetDispatch(L"Item", {1L}).Call(L"Delete");
        }
    EXPECT_TRUE(appliance.Seen("stub_attachment.cgi").empty());
}

// The add-in's side of a send: a message with links that cannot be stubbed
// (here: no appliance client) does not leave, and the user reads why; a
// message without links leaves untouched.
TEST_F(StubbingTest, AddInRefusesToSendLinksItCannotStub)
{
    auto addIn = Quenzal::OutlookAddIn::CObjectRef<CNxoOutlookAddIn>::Create();
    attachments->Add(L"notes.txt", "plain");
    addIn->StubLinks(draft);
    EXPECT_EQ(StubHeader(), L"(none)");

    CLinkedFile file(L"plan.pdf", 1000);
    Stubbing::AttachLinkFile(draft, file.path);
    wchar_t shown[512] = {};
    std::jthread user = NxoTest::AnswerMessageBox(shown);
    StringW failure = Failure([&] { addIn->StubLinks(draft); });
    user.join();
    EXPECT_EQ(failure, GetLocalizedMessage(178));
    EXPECT_EQ(StringW(shown), GetLocalizedMessage(178));
    EXPECT_EQ(Names(), L"notes.txt|plan.pdf.qenz|");
    EXPECT_TRUE(appliance.Seen("stub_attachment.cgi").empty());
}

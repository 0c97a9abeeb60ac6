// A large file sent as a link: linked to a draft, uploaded to the appliance
// when the message is sent, and replaced by the appliance's description.
#include "AddInFlow.h"

#include "DispatchObject.h"
#include "FakeAttachments.h"
#include "File.h"
#include "FileSystem.h"
#include "Path.h"
#include "Stubbing.h"
#include "StringW.h"
#include "TestSupport.h"
#include "Util.h"

#include <gtest/gtest.h>

using namespace NxoTest;
using namespace QzlFake;
using namespace Quenzal;

// The file is linked the way the "Attach Large File" command links the file
// the user chose (the chooser is a seam of the in-process add-in only).
TEST(AddInFlowTest, SendsALargeFileAsALink)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    ASSERT_EQ(S_OK, flow.host->Connect());
    const StringW folder = QzlTest::UniqueTempPath(L"lnk");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const StringW path = Os::CombinePath(folder, L"survey.bin");
    std::string bytes(5 * 1024 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31 + (i >> 13));
    Os::WriteFileContents(path, bytes.data(), bytes.size());

    CFakeRef draft = flow.AddDraft(L"Site survey");
    draft->Property(L"SenderEmailType", L"SMTP").Property(L"SenderEmailAddress", L"user@example.com");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    CAddInFlow::Step("the user links survey.bin (5 MiB) to a draft, as Attach Large File does");
    Stubbing::AttachLinkFile(OutlookAddIn::CDispatchObject(draft.Get()), path);
    ASSERT_EQ(L"survey.bin.qenz", attachments.List().at(0).first);

    CAddInFlow::Step("the user sends the message");
    EXPECT_FALSE(flow.outlook.FireItemSend(draft.Get()));
    const auto uploads = flow.AwaitSeen("stub_attachment.cgi", 1);
    const auto preambles = flow.AwaitSeen("stub_preamble.cgi", 1);
    ASSERT_EQ(1u, uploads.size());
    ASSERT_EQ(1u, preambles.size());
    CAddInFlow::Saw(uploads[0]);
    CAddInFlow::Saw(preambles[0]);
    const Json::Value parts = uploads[0]["parts"];
    ASSERT_EQ(4u, parts.size());
    const std::wstring stubId = flow.HeaderOf(draft, L"X-Quenzal-PluginStubId");
    EXPECT_EQ(38u, stubId.size());
    EXPECT_EQ(StringW(stubId).ToAnsi(), parts[0]["data"].asString());
    EXPECT_EQ("user@example.com colleague@example.net", parts[1]["data"].asString() + " " + parts[2]["data"].asString());
    EXPECT_EQ("survey.bin", parts[3]["filename"].asString());
    EXPECT_EQ(BytesToHex(CalculateMd5(bytes.data(), bytes.size())), parts[3]["md5"].asString());
    EXPECT_NE(std::string::npos, preambles[0]["body"].asString().find("<size>5242880</size>"));

    const std::wstring body = draft->Value(L"HTMLBody").bstrVal;
    EXPECT_EQ(_variant_t(2L), draft->Value(L"BodyFormat"));
    EXPECT_NE(std::wstring::npos, body.find(L"survey.bin</a>")) << StringW(body).ToUtf8();
    ASSERT_EQ(1u, attachments.List().size());
    EXPECT_EQ(L"Linked Attachments.html", attachments.List()[0].first);
    CAddInFlow::Step("it leaves with X-Quenzal-PluginStubId: " + StringW(stubId).ToAnsi() +
                     ", the appliance's links in its HTML body and \"Linked Attachments.html\"");
    Os::TryDeleteDirectory(folder);
}

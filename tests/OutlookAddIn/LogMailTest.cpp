#include "AddInTestSupport.h"

#include "LogMail.h"
#include "Os.h"

using namespace Quenzal::OutlookAddIn;

namespace {

constexpr size_t MiB = 0x100000;

// A log of numbered lines, exactly size bytes long.
std::string MakeLog(size_t size)
{
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "line " + std::to_string(line) + " of the log\r\n";
    text.resize(size);
    return text;
}

Quenzal::StringW WriteLog(const std::string& text)
{
    Quenzal::StringW path = QzlTest::UniqueTempPath(L"mail") + L".log";
    Quenzal::Os::CHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return path;
}

// The last mebibyte, from after its first line break.
std::string Tail(const std::string& text)
{
    std::string last = text.substr(text.size() - MiB);
    return last.substr(last.find('\n') + 1);
}

bool Exists(const Quenzal::StringW& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

// A log of at most a mebibyte goes whole; a larger one as the tail of its
// last mebibyte, each in a folder of its own, deleted as soon as the message
// holds its copy (Outlook copies the file into the item).
TEST(LogMail, TailsOfLargeLogsAreAttachedAndTheirCopiesDeletedAtOnce)
{
    QzlFake::CFakeOutlook outlook;
    const std::string texts[] = {MakeLog(MiB), MakeLog(MiB + 1), MakeLog(MiB + MiB / 2)};
    std::vector<Quenzal::StringW> paths;
    for (const std::string& text : texts)
        paths.push_back(WriteLog(text));
    QzlTest::CLogCapture log;
    AttachLogTailToNewMessage(paths, CDispatchObject(outlook.application.Get()));

    ASSERT_EQ(1u, outlook.mails.size());
    const QzlFake::CFakeMail& mail = *outlook.mails[0];
    EXPECT_STREQ(L"Quenzal Outlook Add-In log", _bstr_t(mail.item->Value(L"Subject")));
    EXPECT_EQ(1, mail.item->CallCount(L"Display"));
    ASSERT_EQ(3u, mail.attachments.size());
    EXPECT_EQ(paths[0], mail.attachments[0].path);
    EXPECT_EQ(texts[0], mail.attachments[0].content);
    for (size_t i : {1u, 2u}) {
        const Quenzal::StringW copy(mail.attachments[i].path);
        Quenzal::StringW folder = Quenzal::Os::GetDirectoryFromPath(copy);
        EXPECT_EQ(Quenzal::Os::GetFileNameFromPath(paths[i]), Quenzal::Os::GetFileNameFromPath(copy));
        EXPECT_EQ(Quenzal::Os::GetTemporaryDirectory().size() + 33, folder.size()) << folder.ToAnsi();
        EXPECT_EQ(Tail(texts[i]), mail.attachments[i].content);
        EXPECT_TRUE(log.Contains("1 MB of log tailed to temporary file: " + copy.ToAnsi()));
        EXPECT_FALSE(Exists(copy));
        EXPECT_FALSE(Exists(folder));
    }
    EXPECT_NE(mail.attachments[1].path, mail.attachments[2].path);
    for (const Quenzal::StringW& path : paths)
        ::DeleteFileW(path.c_str());
}

// A message that cannot be shown is thrown away, and its copies with it.
TEST(LogMail, AMessageThatFailsIsDiscardedAndLeavesNoCopy)
{
    QzlFake::CFakeOutlook outlook;
    outlook.displayFailure = E_ACCESSDENIED;
    Quenzal::StringW path = WriteLog(MakeLog(MiB + 10));
    EXPECT_EQ(E_ACCESSDENIED, RaisedComError([&] {
                  AttachLogTailToNewMessage({path}, CDispatchObject(outlook.application.Get()));
              }));
    ASSERT_EQ(1u, outlook.mails.size());
    EXPECT_EQ(1L, static_cast<long>(outlook.mails[0]->item->Value(L"ClosedWith")));
    ASSERT_EQ(1u, outlook.mails[0]->attachments.size());
    EXPECT_FALSE(Exists(Quenzal::Os::GetDirectoryFromPath(outlook.mails[0]->attachments[0].path)));
    ::DeleteFileW(path.c_str());
}

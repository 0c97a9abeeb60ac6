#include "MapiTestSupport.h"
#include "NxoMapi.h"
#include "NxoMapiImpl.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTestMapi::BinaryProp;
using QzlTestMapi::Prop;
using QzlTestMapi::PropRow;
using testing::UnorderedElementsAre;

namespace {

const std::string Me(reinterpret_cast<const char*>(QzlTestMapi::UserEntryId), sizeof(QzlTestMapi::UserEntryId));

class SmtpAddresses : public QzlTest::CMapiProviderTest {
protected:
    long Opens() { return control->GetCallCount("IMAPISession::OpenEntry"); }
};

} // namespace

TEST(SmtpAddressSet, AddressesThatDifferOnlyInCaseAreOne)
{
    CaseInsensitiveHash hash;
    EXPECT_EQ(hash("abc"), 0xfa2fe2195a5ba0f2u);
    EXPECT_EQ(hash("ABC"), 0xfa2fe2195a5ba0f2u);
    EXPECT_EQ(hash(""), 0xcbf29ce44fd0bfc1u);
    // Bytes from 0x80 up are hashed as they are.
    EXPECT_EQ(hash("caf\xE9@x.de"), 0xf0daf109dd3f9698u);
    EXPECT_EQ(hash("\xFF"), 0xaf64724c29669922u);
    SmtpAddressSet set;
    for (const char* address : {"Ann@X.com", "ann@x.COM", "caf\xE9@x.de", "CAF\xE9@X.DE", "bob@x.com"})
        set.insert(address);
    EXPECT_THAT(set, UnorderedElementsAre("Ann@X.com", "caf\xE9@x.de", "bob@x.com"));
}

// SMTP addresses stand as they are; "EX" addresses resolve once through the
// address book and then come from the cache in any case; entries of other
// types (one-offs) resolve through the address book each time, the entry's
// own SMTP address first, then its e-mail address of type SMTP, then the
// first SMTP proxy whose prefix has any case.
TEST_F(SmtpAddresses, AddressesOfEveryForm)
{
    std::vector<const char*> proxies = {"X500:/o=Org", "SMTP:nobody", "smtp:carol@x.net", "SMTP:primary@x.net"};
    control->AddMailUser("user:alice", {Prop(PR_SMTP_ADDRESS_A, "alice@example.com")});
    control->AddMailUser("user:ghost", {Prop(PR_ADDRTYPE_A, "EX"), Prop(PR_EMAIL_ADDRESS_A, "/o=Org/cn=Ghost")});
    control->AddMailUser("user:oneoff", {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_A, "bob@example.org")});
    control->AddMailUser("user:proxied", {Prop(PR_SMTP_ADDRESS_A, "carol"),
                                          QzlTestMapi::MultiProp(PR_EMS_AB_PROXY_ADDRESSES_A, proxies)});
    const struct {
        const char *type, *address, *entryId, *expected;
        long opens; // address-book lookups so far
    } cases[] = {
        {"SMTP", "a@b", nullptr, "a@b", 0}, {"smtp", "a@@", nullptr, "a@@", 0}, {"SMTP", "@x.com", nullptr, "", 0},
        {"SMTP", "ann@", nullptr, "", 0}, {nullptr, "a@b", "user:alice", "", 0}, {"SMTP", nullptr, "user:alice", "", 0},
        {"EX", "/o=Org/cn=Alice", nullptr, "", 0}, {"EX", "/o=Org/cn=Alice", "user:alice", "alice@example.com", 1},
        {"EX", "/O=ORG/CN=ALICE", "user:unknown", "alice@example.com", 1}, // from the cache
        {"EX", "/o=Org/cn=Ghost", "user:ghost", "", 2}, {"EX", "/o=Org/cn=Ghost", "user:ghost", "", 3},
        {"FAX", "+49 30", "user:oneoff", "bob@example.org", 4}, {"SMTP", "carol", "user:proxied", "carol@x.net", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address ? c.address : "null");
        std::string entryId = c.entryId ? c.entryId : "";
        SBinary binary = {static_cast<ULONG>(entryId.size()), reinterpret_cast<LPBYTE>(entryId.data())};
        EXPECT_EQ(ToSmtpAddress(c.type, c.address, c.entryId ? &binary : nullptr), c.expected);
        EXPECT_EQ(Opens(), c.opens);
    }
    EXPECT_EQ(GetSmtpAddressFromUserEntryIdW("user:oneoff"), L"bob@example.org");
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([] { GetSmtpAddressFromUserEntryIdW("user:unknown"); }).first,
              MAPI_E_UNKNOWN_ENTRYID);
    GetMapiSession().Clear();
    EXPECT_EQ(QzlTest::Raised([] { GetSmtpAddressFromUserEntryIdW("user:alice"); }).GetDescription(),
              L"MAPI session not initialized");
}

// Email1 to Email3 are named properties; strings stored wide are read
// narrow; an "EX" slot gives nothing; Email2 that differs from Email1 only in
// case is the same entry, in Email1's case.
TEST_F(SmtpAddresses, ContactsGiveTheirThreeSlots)
{
    auto tag = [&](LONG id, ULONG type) {
        MAPINAMEID name = {const_cast<GUID*>(&PSETID_Address), MNID_ID, {id}};
        return control->GetNamedPropertyTag(name, type);
    };
    ULONG type1 = tag(0x8082, PT_STRING8), email1 = tag(0x8083, PT_STRING8), type2 = tag(0x8092, PT_UNICODE),
          email2 = tag(0x8093, PT_UNICODE), type3 = tag(0x80A2, PT_STRING8), email3 = tag(0x80A3, PT_STRING8);
    const std::vector<std::pair<PropRow, std::vector<std::string>>> contacts = {
        {{Prop(type1, "SMTP"), Prop(email1, "Ann@X.com"), Prop(type2, L"smtp"), Prop(email2, L"ann@x.COM"),
          Prop(type3, "EX"), Prop(email3, "/o=Org/cn=Ann")},
         {"Ann@X.com"}},
        {{Prop(type2, L"SMTP"), Prop(email2, L"dan@y.org"), Prop(type1, "SMTP"), Prop(type3, "SMTP"),
          Prop(email3, "eve@y.org")},
         {"dan@y.org", "eve@y.org"}},
        {{Prop(type1, "SMTP"), Prop(email1, "@y.org")}, {}},
    };
    for (const auto& [values, expected] : contacts) {
        SmtpAddressSet addresses = GetContactSmtpAddresses(Message(values).GetInterfacePtr());
        EXPECT_THAT(std::vector<std::string>(addresses.begin(), addresses.end()),
                    testing::UnorderedElementsAreArray(expected));
    }
}

TEST_F(SmtpAddresses, RecipientsSendersAndReceivedBy)
{
    control->AddMailUser("user:alice", {Prop(PR_SMTP_ADDRESS_A, "alice@example.com")});
    control->AddMailUser("user:ghost", {Prop(PR_ADDRTYPE_A, "EX")});
    auto recipient = [](const char* type, const char* address) {
        return PropRow{Prop(PR_ADDRTYPE_A, type), Prop(PR_EMAIL_ADDRESS_A, address)};
    };
    IMessagePtr message = Message(
        {Prop(PR_SENDER_ADDRTYPE_A, "SMTP"), Prop(PR_SENDER_EMAIL_ADDRESS_A, "boss@x.com"),
         Prop(PR_SENT_REPRESENTING_ADDRTYPE_A, "EX"), Prop(PR_SENT_REPRESENTING_EMAIL_ADDRESS_A, "/o=Org/cn=Boss")},
        {recipient("SMTP", "Ann@X.com"), recipient("smtp", "ann@x.com"), recipient("EX", "/o=Org/cn=Ann"),
         recipient("SMTP", "@x.com"), {Prop(PR_ADDRTYPE_A, "SMTP")}, {Prop(PR_EMAIL_ADDRESS_A, "untyped@x.com")},
         {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_W, L"wide@x.com")}, recipient("SMTP", "zed@z.com")});
    EXPECT_THAT(GetMessageSmtpRecipients(message.GetInterfacePtr()),
                UnorderedElementsAre("Ann@X.com", "wide@x.com", "zed@z.com"));
    EXPECT_THAT(GetMessageSmtpSenders(message.GetInterfacePtr()), UnorderedElementsAre("boss@x.com"));

    auto receivedBy = [&](const char* address, const std::string& entryId) {
        PropRow values = {Prop(PR_RECEIVED_BY_ADDRTYPE_A, "EX"), Prop(PR_RECEIVED_BY_EMAIL_ADDRESS_A, address)};
        if (!entryId.empty())
            values.push_back(BinaryProp(PR_RECEIVED_BY_ENTRYID, entryId));
        return GetMessageReceivedBySmtpAddress(Message(values).GetInterfacePtr());
    };
    EXPECT_EQ(receivedBy("/o=Org/ou=Mail/cn=Alice", "user:alice"), L"alice@example.com");
    EXPECT_EQ(receivedBy("/O=ORG/ou=MAIL/cn=alice", "user:unknown"), L"alice@example.com");
    EXPECT_EQ(Opens(), 1);
    EXPECT_EQ(QzlTest::Raised([&] { receivedBy("/o=Org/cn=Alice", ""); }).GetDescription(),
              L"Unable to determine the recipient of this message: properties not found");
    EXPECT_EQ(QzlTest::Raised([&] { receivedBy("/o=Org/cn=Ghost", "user:ghost"); }).GetDescription(),
              L"Unable to determine the recipient of this message (unable to resolve /o=Org/cn=Ghost)");
}

// In a process of its own, as the address found is kept for the life of the
// process: without a session; for a user without an address (nothing kept);
// for a user whose lower-case "smtp:" proxy stands before the primary one;
// then again without a session, from the cache.
QZL_CHILD_CASE(UserSmtpAddress)
{
    IMAPISession* raw = nullptr;
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider(&raw);
    IMAPISessionPtr session(raw, false);
    std::string results;
    auto ask = [&](bool withSession) {
        GetMapiSession().Set(withSession ? session.GetInterfacePtr() : nullptr);
        try {
            results.append(GetUserSmtpAddress().ToUtf8()).append("|");
        } catch (const CException& e) {
            results.append(e.GetDescription().ToUtf8()).append("|");
        }
    };
    ask(false);
    control->AddMailUser(Me, {Prop(PR_ADDRTYPE_A, "EX"), Prop(PR_EMAIL_ADDRESS_A, "/o=Org/cn=Me")});
    ask(true);
    control->Reset();
    control->AddMailUser(Me,
                         {Prop(PR_ADDRTYPE_A, "EX"), Prop(PR_EMAIL_ADDRESS_A, "/o=Org/cn=Me"),
                          QzlTestMapi::MultiProp(PR_EMS_AB_PROXY_ADDRESSES_A,
                                                 {"X400:c=US;a= ;p=Org", "smtp:second@x.com", "SMTP:first@x.com"})});
    ask(true);
    ask(false);
    printf("%s queries %ld\n", results.c_str(), control->GetCallCount("IMAPISession::QueryIdentity"));
    return 0;
}

TEST(UserSmtpAddress, FromTheSessionIdentityOnceFound)
{
    QzlTest::ChildResult result = QzlTest::RunChildCase("UserSmtpAddress");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_THAT(result.output, testing::HasSubstr("MAPI session not initialized|Unable to determine user's default "
                                                  "SMTP address|second@x.com|second@x.com| queries 1"));
}

// Two threads fill the EX address cache at once, each finding its entries
// in another case, and take the session while it is replaced under them:
// every entry stays, and every session replaced is released once.
TEST_F(SmtpAddresses, CachesAndSessionFromTwoThreadsAtOnce)
{
    constexpr int count = 20000;
    StringW user = CacheUserSmtpAddress(L"me@example.com");
    std::atomic<int> failures{0}, started{0};
    auto fill = [&](char thread) {
        // All begin together: starting a thread takes longer than its work.
        for (++started; started < 3;)
            std::this_thread::yield();
        for (int i = 0; i < count; ++i) {
            std::string ex = std::string("/o=Org/cn=") + thread + std::to_string(i), smtp;
            CacheSmtpAddress(ex, ex + "@example.com");
            for (char& c : ex)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            failures += !FindCachedSmtpAddress(ex, smtp) || smtp.size() != ex.size() + 12;
            failures += CacheUserSmtpAddress(L"other@example.com") != user || GetMapiSession().Get() == nullptr;
        }
    };
    std::thread first(fill, 'a'), second(fill, 'b');
    for (++started; started < 3;)
        std::this_thread::yield();
    for (int n = 0; n < 2000; ++n) {
        IMAPISession* replacement = nullptr;
        ASSERT_EQ(Mapi::MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED, &replacement), S_OK);
        GetMapiSession().Set(replacement);
        replacement->Release();
    }
    first.join();
    second.join();
    std::string smtp;
    for (int i = 0; i < 2 * count; ++i)
        failures += !FindCachedSmtpAddress("/o=org/cn=" + std::string(1, "ab"[i % 2]) + std::to_string(i / 2), smtp);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(control->GetLiveObjects(), 2);
}

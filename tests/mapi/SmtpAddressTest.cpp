#include "MapiTestSupport.h"
#include "NxoMapi.h"
#include "NxoMapiImpl.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTest::BinaryProp;
using QzlTest::MultiProp;
using QzlTest::Prop;
using testing::UnorderedElementsAre;

namespace {

// The provider logged on, its session held as the add-in holds it.
class SmtpAddresses : public ::testing::Test {
protected:
    QzlTestMapi::IControl* control = nullptr;
    IMAPISessionPtr session;

    void SetUp() override
    {
        IMAPISession* raw = nullptr;
        control = QzlTest::BindTestMapiProvider(&raw);
        ASSERT_NE(control, nullptr);
        session.Attach(raw);
        GetMapiSession().Set(session.GetInterfacePtr());
    }
    // Every object the provider handed out was released.
    void TearDown() override
    {
        GetMapiSession().Clear();
        session = nullptr;
        EXPECT_EQ(control->GetLiveObjects(), 0);
        EXPECT_EQ(control->GetForeignFrees(), 0);
    }
    // An address-book entry under the entry id.
    void AddUser(const std::string& entryId, QzlTest::PropRow values)
    {
        values.push_back(BinaryProp(PR_ENTRYID, entryId));
        control->AddMailUser(values.data(), static_cast<ULONG>(values.size()));
    }
    IMessagePtr Message(QzlTest::PropRow values, std::vector<QzlTest::PropRow> recipients = {})
    {
        std::vector<SRow> rows = QzlTest::Rows(recipients);
        return IMessagePtr(control->CreateMessage(values.data(), static_cast<ULONG>(values.size()), rows.data(),
                                                  static_cast<ULONG>(rows.size())),
                           false);
    }
    ULONG ContactTag(LONG id, ULONG type)
    {
        MAPINAMEID name = {const_cast<GUID*>(&PSETID_Address), MNID_ID, {id}};
        return control->GetNamedPropertyTag(name, type);
    }
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
    EXPECT_EQ(*set.find("ANN@X.COM"), "Ann@X.com");
}

// SMTP addresses stand as they are; "EX" addresses resolve once through the
// address book and then come from the cache in any case; an entry of another
// type (a one-off) resolves through the address book every time.
TEST_F(SmtpAddresses, AddressesOfEveryForm)
{
    std::vector<const char*> proxies = {"X500:/o=Org/cn=Carol", "SMTP:nobody", "smtp:carol@example.net",
                                        "SMTP:carol.primary@example.net"};
    AddUser("user:alice", {Prop(PR_SMTP_ADDRESS_A, "alice@example.com")});
    AddUser("user:ghost", {Prop(PR_ADDRTYPE_A, "EX"), Prop(PR_EMAIL_ADDRESS_A, "/o=Org/cn=Ghost")});
    AddUser("user:oneoff", {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_A, "bob@example.org")});
    AddUser("user:proxied", {Prop(PR_SMTP_ADDRESS_A, "not an address"), MultiProp(PR_EMS_AB_PROXY_ADDRESSES_A, proxies)});
    struct Case {
        const char* type;
        const char* address;
        const char* entryId;
        const char* expected;
        long opens; // address-book lookups so far
    };
    const Case cases[] = {
        {"SMTP", "a@b", nullptr, "a@b", 0},
        {"smtp", "a@@", nullptr, "a@@", 0},
        {"SMTP", "@example.com", nullptr, "", 0},
        {"SMTP", "ann@", nullptr, "", 0},
        {nullptr, "a@b", "user:alice", "", 0},
        {"SMTP", nullptr, "user:alice", "", 0},
        {"EX", "/o=Org/cn=Alice", nullptr, "", 0},
        {"EX", "/o=Org/cn=Alice", "user:alice", "alice@example.com", 1},
        {"EX", "/O=ORG/CN=ALICE", "user:unknown", "alice@example.com", 1},
        {"EX", "/o=Org/cn=Ghost", "user:ghost", "", 2},
        {"EX", "/o=Org/cn=Ghost", "user:ghost", "", 3},
        {"FAX", "+49 30 1234", "user:oneoff", "bob@example.org", 4},
        {"SMTP", "carol", "user:proxied", "carol@example.net", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type ? c.type : "null") + " " + (c.address ? c.address : "null"));
        std::string entryId = c.entryId ? c.entryId : "";
        SBinary binary = {static_cast<ULONG>(entryId.size()), reinterpret_cast<LPBYTE>(entryId.data())};
        EXPECT_EQ(ToSmtpAddress(c.type, c.address, c.entryId ? &binary : nullptr), c.expected);
        EXPECT_EQ(Opens(), c.opens);
    }
    EXPECT_EQ(GetSmtpAddressFromUserEntryIdW("user:oneoff"), L"bob@example.org");
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([] { GetSmtpAddressFromUserEntryIdW("user:unknown"); }).first,
              MAPI_E_UNKNOWN_ENTRYID);
    GetMapiSession().Clear();
    QzlTest::CLogCapture log;
    EXPECT_EQ(QzlTest::Raised([] { GetSmtpAddressFromUserEntryIdW("user:alice"); }).GetDescription(),
              L"MAPI session not initialized");
    EXPECT_TRUE(log.Contains("Quenzal::Mapi::GetSmtpAddressFromUserEntryId"));
}

// Email1 to Email3, read as named properties; strings stored wide come back
// narrow; an "EX" slot gives nothing; Email2 that differs from Email1 only in
// case is the same entry, in Email1's case.
TEST_F(SmtpAddresses, ContactsGiveTheirThreeSlots)
{
    ULONG type1 = ContactTag(0x8082, PT_STRING8), email1 = ContactTag(0x8083, PT_STRING8);
    ULONG type2 = ContactTag(0x8092, PT_UNICODE), email2 = ContactTag(0x8093, PT_UNICODE);
    ULONG type3 = ContactTag(0x80A2, PT_STRING8), email3 = ContactTag(0x80A3, PT_STRING8);
    struct Case {
        QzlTest::PropRow values;
        std::vector<std::string> expected;
    };
    std::vector<Case> cases = {
        {{Prop(type1, "SMTP"), Prop(email1, "Ann@X.com"), Prop(type2, L"smtp"), Prop(email2, L"ann@x.COM"),
          Prop(type3, "EX"), Prop(email3, "/o=Org/cn=Ann")},
         {"Ann@X.com"}},
        {{Prop(type2, L"SMTP"), Prop(email2, L"dan@y.org"), Prop(type3, "SMTP"), Prop(email3, "eve@y.org"),
          Prop(type1, "SMTP")},
         {"dan@y.org", "eve@y.org"}},
        {{Prop(type1, "SMTP"), Prop(email1, "@y.org"), Prop(PR_SUBJECT_A, "no addresses")}, {}},
    };
    for (Case& c : cases) {
        IMessagePtr contact = Message(c.values);
        SmtpAddressSet addresses = GetContactSmtpAddresses(contact.GetInterfacePtr());
        EXPECT_THAT(std::vector<std::string>(addresses.begin(), addresses.end()),
                    testing::UnorderedElementsAreArray(c.expected));
    }
    EXPECT_EQ(control->GetCallCount("IMAPIProp::GetIDsFromNames"), 3);
}

TEST_F(SmtpAddresses, RecipientsSendersAndReceivedBy)
{
    AddUser("user:alice", {Prop(PR_SMTP_ADDRESS_A, "alice@example.com")});
    AddUser("user:ghost", {Prop(PR_ADDRTYPE_A, "EX")});
    long live = control->GetLiveAllocations();
    {
        IMessagePtr message = Message(
            {Prop(PR_SENDER_ADDRTYPE_A, "SMTP"), Prop(PR_SENDER_EMAIL_ADDRESS_A, "boss@x.com"),
             Prop(PR_SENT_REPRESENTING_ADDRTYPE_A, "EX"), Prop(PR_SENT_REPRESENTING_EMAIL_ADDRESS_A, "/o=Org/cn=Boss")},
            {{Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_A, "Ann@X.com")},
             {Prop(PR_ADDRTYPE_A, "smtp"), Prop(PR_EMAIL_ADDRESS_A, "ann@x.com")},
             {Prop(PR_ADDRTYPE_A, "EX"), Prop(PR_EMAIL_ADDRESS_A, "/o=Org/cn=Ann")},
             {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_A, "@x.com")},
             {Prop(PR_ADDRTYPE_A, "SMTP")},
             {Prop(PR_EMAIL_ADDRESS_A, "untyped@x.com")},
             {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_W, L"wide@x.com")},
             {Prop(PR_ADDRTYPE_A, "SMTP"), Prop(PR_EMAIL_ADDRESS_A, "zed@z.com")}});
        EXPECT_THAT(GetMessageSmtpRecipients(message.GetInterfacePtr()),
                    UnorderedElementsAre("Ann@X.com", "wide@x.com", "zed@z.com"));
        EXPECT_THAT(GetMessageSmtpSenders(message.GetInterfacePtr()), UnorderedElementsAre("boss@x.com"));
        EXPECT_TRUE(GetMessageSmtpRecipients(Message({}).GetInterfacePtr()).empty());
    }
    std::string alice = "user:alice", ghost = "user:ghost", unknown = "user:unknown";
    auto receivedBy = [&](const char* address, const std::string* entryId) {
        QzlTest::PropRow values = {Prop(PR_RECEIVED_BY_ADDRTYPE_A, "EX"), Prop(PR_RECEIVED_BY_EMAIL_ADDRESS_A, address)};
        if (entryId != nullptr)
            values.push_back(BinaryProp(PR_RECEIVED_BY_ENTRYID, *entryId));
        return GetMessageReceivedBySmtpAddress(Message(values).GetInterfacePtr());
    };
    EXPECT_EQ(receivedBy("/o=Org/ou=Mail/cn=Alice", &alice), L"alice@example.com");
    EXPECT_EQ(receivedBy("/O=ORG/ou=MAIL/cn=alice", &unknown), L"alice@example.com");
    EXPECT_EQ(Opens(), 1);
    EXPECT_EQ(QzlTest::Raised([&] { receivedBy("/o=Org/cn=Alice", nullptr); }).GetDescription(),
              L"Unable to determine the recipient of this message: properties not found");
    EXPECT_EQ(QzlTest::Raised([&] { receivedBy("/o=Org/cn=Ghost", &ghost); }).GetDescription(),
              L"Unable to determine the recipient of this message (unable to resolve /o=Org/cn=Ghost)");
    EXPECT_EQ(control->GetLiveAllocations(), live);
}

namespace {

// The user's own address, each case in a process of its own: the address
// found first is kept for the life of the process.
struct UserCase {
    const char* name;
    std::vector<std::string> proxies;
    std::vector<std::pair<ULONG, const char*>> texts;
    const char* expected; // or the text raised
};

const std::vector<UserCase>& UserCases()
{
    static const std::vector<UserCase> cases = {
        {"UserFromSmtpProperty",
         {"SMTP:other@x.com"},
         {{PR_ADDRTYPE_A, "EX"}, {PR_EMAIL_ADDRESS_A, "/o=Org/cn=Me"}, {PR_SMTP_ADDRESS_A, "me@x.com"}},
         "me@x.com"},
        {"UserFromProxyList",
         {"X400:c=US;a= ;p=Org", "smtp:second@x.com", "SMTP:primary@x.com"},
         {{PR_ADDRTYPE_A, "EX"}, {PR_EMAIL_ADDRESS_A, "/o=Org/cn=Me"}},
         "second@x.com"},
        {"UserFromProxyListWithoutType", {"SMTP:@x.com", "SMTP:first@x.com"}, {}, "first@x.com"},
        {"UserOfTypeSmtp", {}, {{PR_ADDRTYPE_A, "SMTP"}, {PR_EMAIL_ADDRESS_A, "plain@x.com"}}, "plain@x.com"},
        {"UserWithoutAddress",
         {"X500:/o=Org"},
         {{PR_ADDRTYPE_A, "EX"}, {PR_EMAIL_ADDRESS_A, "/o=Org/cn=Me"}},
         "Unable to determine user's default SMTP address"},
        {"UserWithoutSession", {}, {}, "MAPI session not initialized"},
    };
    return cases;
}

// Prints what each of two calls gave, the second one after the session is
// gone, and the number of identity queries.
int ResolveUser(const UserCase& user)
{
    IMAPISession* raw = nullptr;
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider(&raw);
    IMAPISessionPtr session(raw, false);
    std::vector<const char*> proxies;
    for (const std::string& proxy : user.proxies)
        proxies.push_back(proxy.c_str());
    std::string id(reinterpret_cast<const char*>(QzlTestMapi::UserEntryId), sizeof(QzlTestMapi::UserEntryId));
    QzlTest::PropRow values = {BinaryProp(PR_ENTRYID, id)};
    for (const auto& [tag, text] : user.texts)
        values.push_back(Prop(tag, text));
    if (!proxies.empty())
        values.push_back(MultiProp(PR_EMS_AB_PROXY_ADDRESSES_A, proxies));
    control->AddMailUser(values.data(), static_cast<ULONG>(values.size()));
    if (std::string(user.name) != "UserWithoutSession")
        GetMapiSession().Set(session.GetInterfacePtr());
    std::string results[2];
    for (std::string& result : results) {
        try {
            result = GetUserSmtpAddress().ToUtf8();
        } catch (const CException& e) {
            result = e.GetDescription().ToUtf8();
        }
        GetMapiSession().Clear();
    }
    printf("[%s][%s] queries %ld\n", results[0].c_str(), results[1].c_str(),
           control->GetCallCount("IMAPISession::QueryIdentity"));
    return 0;
}

const bool UserCasesRegistered = [] {
    for (const UserCase& user : UserCases())
        QzlTest::RegisterChildCase(user.name, [&user] { return ResolveUser(user); });
    return true;
}();

} // namespace

TEST(UserSmtpAddress, FromTheSessionIdentityOnceFound)
{
    for (const UserCase& user : UserCases()) {
        SCOPED_TRACE(user.name);
        QzlTest::ChildResult result = QzlTest::RunChildCase(user.name);
        EXPECT_EQ(result.exitCode, 0u);
        std::string first = std::string("[") + user.expected + "]";
        if (std::string(user.expected).find('@') != std::string::npos) {
            // Kept: the second call, without a session, asks nothing.
            EXPECT_THAT(result.output, testing::HasSubstr(first + first + " queries 1"));
        } else if (std::string(user.name) == "UserWithoutSession") {
            EXPECT_THAT(result.output, testing::HasSubstr(first + first + " queries 0"));
        } else {
            // Not found is not kept: the second call asks again (and finds no session).
            EXPECT_THAT(result.output, testing::HasSubstr(first + "[MAPI session not initialized] queries 1"));
        }
    }
}

// Two threads fill the EX address cache at once, each finding its entries
// in another case, and take the session while it is replaced under them:
// every entry stays, and every session replaced is released exactly once.
TEST_F(SmtpAddresses, CachesAndSessionFromTwoThreadsAtOnce)
{
    constexpr int count = 20000;
    long live = control->GetLiveObjects();
    std::atomic<int> failures{0}, started{0};
    auto fill = [&](char thread) {
        // Both threads begin together: starting one takes longer than its work.
        for (++started; started < 3;)
            std::this_thread::yield();
        for (int i = 0; i < count; ++i) {
            std::string ex = std::string("/o=Org/cn=") + thread + std::to_string(i), smtp;
            CacheSmtpAddress(ex, ex + "@example.com");
            for (char& c : ex)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            failures += !FindCachedSmtpAddress(ex, smtp) || smtp.size() != ex.size() + 12;
            failures += CacheUserSmtpAddress(L"me@example.com") != L"me@example.com";
            failures += GetMapiSession().Get() == nullptr;
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
    EXPECT_EQ(failures, 0);
    std::string smtp;
    for (char thread : {'a', 'b'}) {
        for (int i = 0; i < count; ++i)
            failures += !FindCachedSmtpAddress(std::string("/o=org/cn=") + thread + std::to_string(i), smtp);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(GetCachedUserSmtpAddress(), L"me@example.com");
    GetMapiSession().Set(session.GetInterfacePtr());
    EXPECT_EQ(control->GetLiveObjects(), live);
}

// Two threads resolve the same "EX" addresses and the user's address while
// the session is replaced under them: each call works on a session of its
// own, and every address is looked up at most twice.
TEST_F(SmtpAddresses, ResolvedWhileTheSessionIsReplaced)
{
    constexpr int count = 100;
    std::string me(reinterpret_cast<const char*>(QzlTestMapi::UserEntryId), sizeof(QzlTestMapi::UserEntryId));
    AddUser(me, {Prop(PR_SMTP_ADDRESS_A, "me@example.com")});
    std::vector<std::string> ids, smtp;
    for (int i = 0; i < count; ++i) {
        ids.push_back("user:" + std::to_string(i));
        smtp.push_back("user" + std::to_string(i) + "@example.com");
        AddUser(ids.back(), {Prop(PR_SMTP_ADDRESS_A, smtp.back().c_str())});
    }
    std::atomic<int> failures{0};
    auto resolve = [&](bool backwards) {
        for (int n = 0; n < count; ++n) {
            int i = backwards ? count - 1 - n : n;
            SBinary entryId = {static_cast<ULONG>(ids[i].size()), reinterpret_cast<LPBYTE>(ids[i].data())};
            try {
                std::string ex = "/o=Org/cn=User" + std::to_string(i);
                failures += ToSmtpAddress("EX", ex.c_str(), &entryId) != smtp[i];
                failures += GetUserSmtpAddress() != L"me@example.com";
            } catch (...) {
                ++failures;
            }
        }
    };
    std::thread forwards(resolve, false), backwards(resolve, true);
    for (int n = 0; n < 50; ++n) {
        IMAPISession* replacement = nullptr;
        ASSERT_EQ(Mapi::MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED, &replacement), S_OK);
        GetMapiSession().Set(replacement);
        replacement->Release();
    }
    forwards.join();
    backwards.join();
    EXPECT_EQ(failures, 0);
    long opens = Opens();
    EXPECT_LE(opens, 2 * count + 2);
    resolve(false);
    EXPECT_EQ(Opens(), opens);
    EXPECT_EQ(failures, 0);
}

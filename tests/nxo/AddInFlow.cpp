#include "AddInFlow.h"

#include "ClientId.h"
#include "DateTime.h"
#include "FakeRibbon.h"
#include "LogFile.h"
#include "Logging.h"
#include "MapiError.h"
#include "MapiFunctions.h"
#include "NxoDataDirectory.h"
#include "Os.h"
#include "Registry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace Quenzal;
using namespace QzlFake;

namespace NxoTest {

namespace {

// The add-in's class, as its type library names it.
constexpr CLSID CLSID_NxoOutlookAddIn = {
    0x6712FCDA, 0x500A, 0x43A3, {0xBE, 0xE4, 0xCF, 0x0C, 0xF8, 0xC4, 0x2E, 0x93}};
const wchar_t* const SettingsPath = L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In";

StringW BinaryFolder()
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return Os::GetDirectoryFromPath(exe);
}

// The product's module, as Outlook finds it registered.
std::unique_ptr<CAddInHost> MakeHost(CFakeOutlook& outlook)
{
    return std::make_unique<CAddInHost>(outlook, Os::CombinePath(BinaryFolder(), L"NxoOutlookAddIn.dll"),
                                        CLSID_NxoOutlookAddIn, L"Quenzal.NxoOutlookAddIn");
}

bool IsDemo()
{
    return ::GetEnvironmentVariableA("QZL_DEMO", nullptr, 0) != 0;
}

} // namespace

CAddInFlow::CAddInFlow()
    : m_processLog(Logging::CLogFile::Instance().GetHandle()), m_processLogPath(Logging::CLogFile::Instance().GetPath())
{
    // The demonstration shows the flow's steps, not the test's own log.
    if (IsDemo())
        Logging::SetLogPath(Os::CombinePath(BinaryFolder(), L"demo.log"));
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_provider = ::LoadLibraryW(Os::CombinePath(BinaryFolder(), L"mapi-provider\\olmapi32.dll").c_str());
    provider = QzlTestMapi::GetControl(m_provider);
    if (provider == nullptr)
        throw std::runtime_error("no test MAPI provider");
    provider->Reset();
    using Logon = HRESULT(WINAPI*)(ULONG_PTR, LPTSTR, LPTSTR, ULONG, LPMAPISESSION*);
    auto logon = reinterpret_cast<Logon>(reinterpret_cast<void*>(::GetProcAddress(m_provider, "MAPILogonEx")));
    logon(0, nullptr, nullptr, 0, &m_session);
    mailbox = std::make_unique<CFakeMailbox>(outlook, m_session);
    SPropValue name = QzlTestMapi::Prop(PR_DISPLAY_NAME_A, "Inbox");
    inbox = provider->CreateFolder(&name, 1, nullptr, 0);
    mailbox->Folder(QzlFake::Outlook::Inbox)->Value(L"MAPIOBJECT") = static_cast<IUnknown*>(inbox);
    SPropValue junkName = QzlTestMapi::Prop(PR_DISPLAY_NAME_A, "Junk E-mail");
    IMAPIFolder* junk = provider->CreateFolder(&junkName, 1, nullptr, 0);
    mailbox->Folder(QzlFake::Outlook::Junk)->Value(L"MAPIOBJECT") = static_cast<IUnknown*>(junk);
    junk->Release();
    host = MakeHost(outlook);
    outlook.AddExplorer();
    // Each flow reads the log from its own start; the add-in keeps only the
    // tail of a long log, so an offset into an older one would not hold.
    Os::TryDeleteFile(GetNxoDataDirectory() + L"NxoOutlookAddIn.log");
}

CAddInFlow::~CAddInFlow()
{
    host->Disconnect();
    // The next test loads the module anew, with settings read afresh; as COM
    // frees unused libraries from time to time, pool threads may still be
    // leaving the module's code at the first asking.
    EXPECT_TRUE(PumpUntil([this] { return host->Unload() == S_OK; }));
    host.reset();
    m_linkedAddIn.Reset();
    mailbox.reset();
    if (inbox != nullptr)
        inbox->Release();
    if (m_session != nullptr)
        m_session->Release();
    ::CoUninitialize();
    // A linked add-in (or the demonstration) pointed this process's log at a
    // file that the next flow must be able to delete.
    Logging::CLogFile::Instance().Replace(m_processLog, m_processLogPath);
}

void CAddInFlow::Restart()
{
    host->Disconnect();
    EXPECT_TRUE(PumpUntil([this] { return host->Unload() == S_OK; }));
    host = MakeHost(outlook);
    EXPECT_EQ(S_OK, host->Connect());
}

std::unique_ptr<CAddInHost> CAddInFlow::ConnectNewObject()
{
    std::unique_ptr<CAddInHost> old = std::exchange(host, MakeHost(outlook));
    EXPECT_EQ(S_OK, host->Connect(ext_cm_AfterStartup));
    return old;
}

IMessage* CAddInFlow::MakeMessage(const std::wstring& subject, const std::string& headers, const std::string& sender,
                                  bool deliver, std::vector<QzlTestMapi::PropRow> recipients)
{
    std::string narrowSubject = StringW(subject).GetAnsi(CP_ACP);
    std::string entryId = "QZL-MESSAGE-" + std::to_string(m_nextEntryId++);
    std::string identity = StringW(CAddInTurn::Identity).GetAnsi(CP_ACP);
    using QzlTestMapi::Prop;
    QzlTestMapi::PropRow values = {
        Prop(PR_SUBJECT_A, narrowSubject.c_str()),
        Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, headers.c_str()),
        QzlTestMapi::BinaryProp(PR_ENTRYID, entryId),
        Prop(PR_RECEIVED_BY_ADDRTYPE_A, "SMTP"),
        Prop(PR_RECEIVED_BY_EMAIL_ADDRESS_A, identity.c_str()),
        QzlTestMapi::BinaryProp(PR_RECEIVED_BY_ENTRYID, "RECEIVED-BY"),
        Prop(PR_SENDER_ADDRTYPE_A, "SMTP"),
        Prop(PR_SENDER_EMAIL_ADDRESS_A, sender.c_str()),
    };
    if (deliver) {
        provider->DeliverMessage(inbox, values.data(), static_cast<ULONG>(values.size()));
        return nullptr;
    }
    return provider->CreateMessage(values, std::move(recipients));
}

CFakeRef CAddInFlow::SendMail(const std::wstring& subject, const std::vector<std::string>& recipients, double daysAgo)
{
    std::vector<QzlTestMapi::PropRow> rows;
    for (const std::string& recipient : recipients)
        rows.push_back({QzlTestMapi::Prop(PR_ADDRTYPE_A, "SMTP"), QzlTestMapi::Prop(PR_EMAIL_ADDRESS_A, recipient.c_str())});
    IMessage* message = MakeMessage(subject, std::string(), StringW(CAddInTurn::Identity).GetAnsi(CP_ACP), false,
                                    std::move(rows));
    DATE sent = DateTime::Now().GetDate() - daysAgo;
    CFakeRef item = mailbox->AddMail(mailbox->Folder(QzlFake::Outlook::SentMail), subject, sent, message, daysAgo == 0);
    message->Release();
    return item;
}

// Email1 to Email3 are named properties of the address set.
IUnknown* CAddInFlow::MakeContactProperties(const std::vector<std::string>& slots)
{
    static const LONG typeIds[] = {0x8082, 0x8092, 0x80A2};
    std::vector<std::string> parts;
    QzlTestMapi::PropRow values;
    parts.reserve(slots.size() * 2);
    for (size_t i = 0; i < slots.size() && i < 3; ++i) {
        size_t colon = slots[i].find(':');
        parts.push_back(slots[i].substr(0, colon));
        parts.push_back(slots[i].substr(colon + 1));
        for (LONG offset : {0, 1}) {
            MAPINAMEID name = {const_cast<GUID*>(&PSETID_Address), MNID_ID, {typeIds[i] + offset}};
            values.push_back(QzlTestMapi::Prop(provider->GetNamedPropertyTag(name, PT_STRING8),
                                               parts[parts.size() - 2 + offset].c_str()));
        }
    }
    return provider->CreatePropObject(values.data(), static_cast<ULONG>(values.size()));
}

CFakeRef CAddInFlow::AddContact(const std::wstring& name, const std::vector<std::string>& slots, bool announce)
{
    IUnknown* properties = MakeContactProperties(slots);
    CFakeRef contact = mailbox->AddContact(name, properties, announce);
    properties->Release();
    return contact;
}

void CAddInFlow::ChangeContact(const CFakeRef& contact, const std::vector<std::string>& slots)
{
    IUnknown* properties = MakeContactProperties(slots);
    contact->Value(L"MAPIOBJECT") = properties;
    properties->Release();
    mailbox->ChangeItem(contact);
}

CNxoOutlookAddIn& CAddInFlow::LinkAddIn()
{
    m_linkedAddIn = Quenzal::OutlookAddIn::CObjectRef<CNxoOutlookAddIn>::Create();
    host = std::make_unique<CAddInHost>(outlook, static_cast<IUnknown*>(m_linkedAddIn->GetInterface(IID_IUnknown)),
                                        L"Quenzal.NxoOutlookAddIn");
    return *m_linkedAddIn;
}

std::string CAddInFlow::ApplianceHeaders(const std::string& debugId, const char* host) const
{
    return "Received: from appliance\r\nX-Quenzal-URL: " + StringW(appliance.Uri(host)).GetAnsi(CP_ACP) +
           "\r\nX-QRX-Debug-ID: " + debugId + "\r\nSubject: x\r\n";
}

void CAddInFlow::DeliverApplianceMail(const std::wstring& subject, const char* host, bool wait)
{
    MakeMessage(subject, ApplianceHeaders("DEBUG-NEW", host), "sender@example.net", true);
    if (wait)
        provider->WaitForNotifications();
}

CFakeRef CAddInFlow::AddApplianceMail(long folder, const std::wstring& subject, const std::string& debugId,
                                      const std::string& sender, const char* host)
{
    IMessage* message = MakeMessage(subject, ApplianceHeaders(debugId, host), sender);
    CFakeRef item = mailbox->AddMail(mailbox->Folder(folder), subject, DateTime::Now().GetDate(), message);
    message->Release();
    return item;
}

CFakeRef CAddInFlow::AddDraft(const std::wstring& subject, const std::wstring& categories)
{
    if (!m_drafts)
        m_drafts = mailbox->AddFolder(L"Drafts");
    IMessage* message = MakeMessage(subject, std::string(), StringW(CAddInTurn::Identity).GetAnsi(CP_ACP));
    CFakeRef item = mailbox->AddMail(m_drafts, subject, DateTime::Now().GetDate(), message);
    message->Release();
    item->Value(L"Categories") = categories.c_str();
    return item;
}

namespace {

std::string ProbeHeaders(const Json::Value& request)
{
    return "X-Quenzal-Client-ID: " + CAddInFlow::QueryOf(request, "client_id") +
           "\r\nX-Quenzal-Addin-Validation-Token: " + request["token"].asString() +
           "\r\nX-Quenzal-Stubbing-Enabled: No\r\n";
}

constexpr wchar_t ProbeSubject[] = L"Quenzal Inbox Rampart Add-In Validation";

} // namespace

void CAddInFlow::DeliverProbeAsNewMail()
{
    std::vector<Json::Value> requests = appliance.Seen("addin_auth_request.cgi");
    ASSERT_FALSE(requests.empty());
    MakeMessage(ProbeSubject, ProbeHeaders(requests.back()), "appliance@example.com", true);
    provider->WaitForNotifications();
}

CFakeRef CAddInFlow::AddProbeToFolder(long folder)
{
    std::vector<Json::Value> requests = appliance.Seen("addin_auth_request.cgi");
    if (requests.empty())
        throw std::runtime_error("no probe was requested");
    IMessage* message = MakeMessage(ProbeSubject, ProbeHeaders(requests.back()), "appliance@example.com");
    CFakeRef item = mailbox->AddMail(mailbox->Folder(folder), ProbeSubject, DateTime::Now().GetDate(), message);
    message->Release();
    return item;
}

// Office calls the ribbon's callbacks by name.
HRESULT CAddInFlow::Click(const wchar_t* command, const std::vector<CFakeRef>& selection)
{
    static std::vector<CFakeRef> selected;
    selected = selection;
    CFakeRef explorer = outlook.explorerList.front();
    explorer->Property(L"Selection", static_cast<IDispatch*>(MakeCollection(selected).Get()));
    CFakeRibbonHost ribbon(host->GetAddIn());
    CFakeRef control = CFakeRibbonHost::MakeControl(command, explorer.Get());
    return ribbon.Call(L"OnRibbonButtonClicked", {_variant_t(static_cast<IDispatch*>(control.Get()))});
}

bool CAddInFlow::PumpUntil(const std::function<bool()>& done, double seconds)
{
    ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (!done()) {
        if (::GetTickCount64() > end)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return true;
}

std::vector<Json::Value> CAddInFlow::AwaitSeen(const std::string& script, size_t count)
{
    std::vector<Json::Value> answered;
    PumpUntil(
        [&] {
            answered.clear();
            for (const Json::Value& request : appliance.Seen(script))
                if (request["status"].asInt() != 401)
                    answered.push_back(request);
            return answered.size() >= count;
        },
        count == 0 ? 0.5 : 60);
    return answered;
}

std::string CAddInFlow::QueryOf(const Json::Value& request, const std::string& name)
{
    for (const Json::Value& pair : request["query"])
        if (pair[0].asString() == name)
            return pair[1].asString();
    return std::string();
}

void CAddInFlow::SetSetting(const wchar_t* name, DWORD value)
{
    ::RegSetKeyValueW(HKEY_CURRENT_USER, SettingsPath, name, REG_DWORD, &value, sizeof(value));
}

void CAddInFlow::SetSetting(const wchar_t* name, const std::wstring& value)
{
    ::RegSetKeyValueW(HKEY_CURRENT_USER, SettingsPath, name, REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring CAddInFlow::HeaderOf(const CFakeRef& item, const wchar_t* name) const
{
    MAPINAMEID id{const_cast<GUID*>(&PS_INTERNET_HEADERS), MNID_STRING, {}};
    id.Kind.lpwstrName = const_cast<wchar_t*>(name);
    ULONG tag = provider->GetNamedPropertyTag(id, PT_UNICODE);
    LPSPropValue value = nullptr;
    HRESULT hr = Mapi::HrGetOneProp(reinterpret_cast<IMAPIProp*>(item->Value(L"MAPIOBJECT").punkVal), tag, &value);
    auto held = Mapi::TakeMapiBuffer(hr, value);
    return held ? held.Get()->Value.lpszW : L"";
}

std::string CAddInFlow::Log() const
{
    return QzlTest::ReadWholeFile(GetNxoDataDirectory() + L"NxoOutlookAddIn.log");
}

void CAddInFlow::Step(const std::string& text)
{
    QzlTest::DemoStep(text);
}

void CAddInFlow::Scene(const std::string& text)
{
    QzlTest::DemoScene(text);
}

std::string CAddInFlow::WhereIs(const CFakeRef& item)
{
    CFakeRef folder = mailbox->FolderHolding(item);
    return folder ? "in " + StringW(Text(folder->Value(L"Name"))).ToUtf8() : std::string("deleted for good");
}

void CAddInFlow::Saw(const Json::Value& request, size_t times)
{
    std::string target = request["target"].asString();
    // The demonstration never prints the shared secret.
    size_t secret = target.find("shared_secret=");
    if (secret != std::string::npos)
        target.replace(secret + 14, target.find('&', secret) - secret - 14, "********");
    if (request["form"].isMember("Addresses"))
        target += " Addresses=" + request["form"]["Addresses"][0].asString();
    // A held or aborted request has the status 0. A refused one names no
    // account: the appliance did not take it.
    const int status = request["status"].asInt();
    const char* unanswered = request["dropped"].asBool() ? "no answer, the connection dropped" : "no answer";
    Step("appliance saw " + request["method"].asString() + " " + target + " -> " +
         (status != 0 ? std::to_string(status) : std::string(unanswered)) +
         (times > 1 ? ", " + std::to_string(times) + " times" : std::string()) +
         (request["user"].isString() && status != 401 ? " (as " + request["user"].asString() + ")" : std::string()));
}

} // namespace NxoTest

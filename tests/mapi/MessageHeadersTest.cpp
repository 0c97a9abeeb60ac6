#include "ClientId.h"
#include "InternetHeader.h"
#include "Logging.h"
#include "MapiTestSupport.h"
#include "MessageHeaders.h"
#include "NxoMapi.h"
#include "TestSupport.h"

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTestMapi::BinaryProp;
using QzlTestMapi::Prop;
using QzlTestMapi::PropRow;

namespace {

class MessageHeaders : public QzlTest::CMapiProviderTest {
protected:
    // The tag of an internet header's named property, of that type.
    ULONG HeaderTag(const wchar_t* name, ULONG type = PT_STRING8)
    {
        MAPINAMEID id{const_cast<GUID*>(&PS_INTERNET_HEADERS), MNID_STRING, {}};
        id.Kind.lpwstrName = const_cast<wchar_t*>(name);
        return control->GetNamedPropertyTag(id, type);
    }
    // The message's value of a tag as wide text, "(none)" when it has none.
    StringW TextOf(IMessage* message, ULONG tag)
    {
        LPSPropValue value = nullptr;
        HRESULT hr = Mapi::HrGetOneProp(message, tag, &value);
        CMapiBuffer<SPropValue> held = TakeMapiBuffer(hr, value);
        return held ? StringW(held.Get()->Value.lpszW) : StringW(L"(none)");
    }
};

const char* const ApplianceBlock = "X-Quenzal-URL: https://scanned.example.com/\r\nX-QRX-Debug-ID: 2\r\n";

} // namespace

// Named properties with a valid record win over the transport headers; a
// record that is not valid there is read from the transport headers, and a
// message with neither fails even when the headers are not required.
TEST_F(MessageHeaders, ApplianceRecordsFromBothPlacesAndTheReceivedByAddress)
{
    control->AddMailUser(std::string(reinterpret_cast<const char*>(QzlTestMapi::UserEntryId),
                                     sizeof(QzlTestMapi::UserEntryId)),
                         {Prop(PR_SMTP_ADDRESS_A, "me@example.com")});
    PropRow receivedBy = {Prop(PR_RECEIVED_BY_ADDRTYPE_A, "SMTP"), Prop(PR_RECEIVED_BY_EMAIL_ADDRESS_A, "u@example.com"),
                          BinaryProp(PR_RECEIVED_BY_ENTRYID, "entry")};
    PropRow named = receivedBy;
    named.insert(named.end(), {Prop(HeaderTag(L"X-Quenzal-URL"), "https://named.example.com/"),
                               Prop(HeaderTag(L"X-QRX-Debug-ID"), "1"),
                               Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, ApplianceBlock)});
    QuenzalMessageProps props = GetQuenzalMessageProps(Message(named), true);
    EXPECT_EQ(props.Url + L" " + props.DebugId + L" " + props.ReceivedBySmtpAddress,
              L"https://named.example.com/ 1 u@example.com");

    named[3] = Prop(HeaderTag(L"X-Quenzal-URL"), "named.example.com");
    QzlTest::CLogCapture log;
    props = GetQuenzalMessageProps(Message({named.begin() + 3, named.end()}), false);
    EXPECT_EQ(props.Url + L" " + props.DebugId + L" " + props.ReceivedBySmtpAddress,
              L"https://scanned.example.com/ 2 " + GetUserSmtpAddress());
    EXPECT_TRUE(log.Contains("Unable to determine envelope recipient; using profile's default SMTP address: "));

    receivedBy.push_back(Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, "X-Quenzal-URL: https://scanned.example.com/\r\n"));
    EXPECT_EQ(QzlTest::Raised([&] { GetQuenzalMessageProps(Message(receivedBy), true); }).GetDescription(),
              L"Message is missing required Quenzal headers");
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { GetQuenzalHeaders(Message({}), false); }).first, MAPI_E_NOT_FOUND);
}

// A stored "Yes " is not "Yes", where the transport headers trim it; a named
// probe for another installation is passed over, a scanned one raises.
TEST_F(MessageHeaders, ProbeRecordsAndTheSubject)
{
    StringW client = App::GetClientId();
    std::string narrowClient = client.ToAnsi(), block = "X-Quenzal-Client-ID: " + narrowClient +
                                                      "\r\nX-Quenzal-Addin-Validation-Token: scanned\r\n"
                                                      "X-Quenzal-Stubbing-Enabled: Yes \r\n";
    PropRow probe = {Prop(HeaderTag(L"X-Quenzal-Client-ID"), narrowClient.c_str()),
                     Prop(HeaderTag(L"X-Quenzal-Addin-Validation-Token"), "named"),
                     Prop(HeaderTag(L"X-Quenzal-Stubbing-Enabled"), "Yes "),
                     Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, block.c_str()), Prop(PR_SUBJECT_W, L"Probe")};
    AuthenticationProbeProps props = GetAuthenticationProbeProps(Message(probe));
    EXPECT_EQ(props.ValidationToken + (props.StubbingEnabled ? L" on" : L" off"), L"named off");

    probe[0] = Prop(HeaderTag(L"X-Quenzal-Client-ID"), "another-installation");
    QzlTest::CLogCapture log;
    props = GetAuthenticationProbeProps(Message(probe));
    EXPECT_EQ(props.ValidationToken + (props.StubbingEnabled ? L" on" : L" off"), L"scanned on");
    EXPECT_TRUE(log.Contains("Received authentication probe with unexpected client ID: another-installation"));

    probe[3] = Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, "X-Quenzal-Client-ID: foreign\r\nX-Quenzal-Addin-Validation-Token: t");
    EXPECT_EQ(QzlTest::Raised([&] { GetAuthenticationProbeProps(Message(probe)); }).GetDescription(),
              L"Received authentication probe with unexpected client ID: foreign");
    probe[3] = Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, "X-Quenzal-Client-ID: ");
    EXPECT_EQ(QzlTest::Raised([&] { GetAuthenticationProbeProps(Message(probe)); }).GetDescription(),
              L"Message is missing required headers");
    // A lookup logs a bounded part of a block of any size.
    const std::string huge(32 << 20, 'h');
    probe[3] = Prop(PR_TRANSPORT_MESSAGE_HEADERS_A, huge.c_str());
    QzlTest::CLogCapture lookup;
    EXPECT_THROW(GetAuthenticationProbeProps(Message(probe)), CException);
    EXPECT_LT(lookup.Text().size(), 2 * Logging::kLogRecordBound) << lookup.Text().size();

    EXPECT_EQ(GetMessageSubject(Message(probe)), L"Probe");
    QzlTest::CLogCapture quiet;
    EXPECT_EQ(GetMessageSubject(Message({})), L"");
    EXPECT_EQ(quiet.Text(), "");
    control->SetResult("IMAPIProp::GetProps", MAPI_E_NO_ACCESS);
    EXPECT_EQ(GetMessageSubject(Message(probe)), L"");
    EXPECT_TRUE(quiet.Contains("Caught exception at MessageHeaders.cpp, Quenzal::Mapi::GetMessageSubject"));
}

// One wide-text property per header name, whatever type the store gave its
// tag; a header the store cannot map or will not take is an error.
TEST_F(MessageHeaders, InternetHeadersWrittenAndRefused)
{
    IMessagePtr message = Message({});
    control->SetNamedPropertyType(PT_MV_STRING8);
    AddCustomHeader(message, L"X-Quenzal-PluginEncrypt", L"first");
    AddCustomHeader(message, L"X-Quenzal-PluginEncrypt", L"Yes");
    AddCustomHeader(message, L"X-Quenzal-Empty", L"");
    ULONG tag = HeaderTag(L"X-Quenzal-PluginEncrypt", PT_UNICODE);
    EXPECT_EQ(ResolveInternetHeader(message, L"X-Quenzal-PluginEncrypt"), tag);
    EXPECT_EQ(TextOf(message, tag) + L"|" + TextOf(message, HeaderTag(L"X-Quenzal-Empty", PT_UNICODE)), L"Yes|");

    control->SetPropertyProblem(PROP_ID(HeaderTag(L"X-Quenzal-Refused")), MAPI_E_NO_ACCESS);
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { AddCustomHeader(message, L"X-Quenzal-Refused", L"Yes"); }).first,
              MAPI_E_NO_ACCESS);
    EXPECT_EQ(TextOf(message, HeaderTag(L"X-Quenzal-Refused", PT_UNICODE)), L"(none)");
    control->SetNamedPropertyType(PT_ERROR);
    long writes = control->GetCallCount("IMAPIProp::SetProps");
    EXPECT_EQ(QzlTest::RaisedAs<CComError>([&] { AddCustomHeader(message, L"X-Quenzal-Unmapped", L"Yes"); }).first,
              E_FAIL);
    EXPECT_EQ(control->GetCallCount("IMAPIProp::SetProps"), writes);
}

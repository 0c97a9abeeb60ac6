#include "ComUtil.h"
#include "ErrorReport.h"
#include "TestSupport.h"
#include "com_cast.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Com;
using QzlTest::CLogCapture;

namespace {

constexpr DISPID kInlineResponse = 7;
constexpr DISPID kCaption = 8;
constexpr DISPID kTentative = 9;
constexpr DISPID kBroken = 10;

// A small automation object: "ActiveInlineResponse" gives an object (itself),
// "Caption" a string, "Tentative" an object with S_FALSE, "Broken" fails.
// It records how it was called.
class CTestDispatch final : public IDispatch {
public:
    ULONG References() const { return m_references; }

    IID lastIid = {};
    UINT lastNameCount = 0;
    LCID lastLocale = 0;
    WORD lastFlags = 0;
    UINT lastArgumentCount = 99;
    UINT lastNamedArgumentCount = 99;
    bool hadExceptionInfo = true;
    bool hadArgumentError = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        lastIid = iid;
        lastNameCount = count;
        lastLocale = locale;
        std::wstring name(names[0]);
        if (name == L"ActiveInlineResponse")
            ids[0] = kInlineResponse;
        else if (name == L"Caption")
            ids[0] = kCaption;
        else if (name == L"Tentative") {
            ids[0] = kTentative;
            return S_FALSE;
        } else if (name == L"Broken")
            ids[0] = kBroken;
        else {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        lastIid = iid;
        lastLocale = locale;
        lastFlags = flags;
        lastArgumentCount = parameters->cArgs;
        lastNamedArgumentCount = parameters->cNamedArgs;
        hadExceptionInfo = exception != nullptr;
        hadArgumentError = argumentError != nullptr;
        switch (id) {
        case kInlineResponse:
        case kTentative:
            result->vt = VT_DISPATCH;
            result->pdispVal = this;
            AddRef();
            return id == kTentative ? S_FALSE : S_OK;
        case kCaption:
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"Inline");
            return S_OK;
        case kBroken:
            return E_ACCESSDENIED;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ULONG m_references = 1;
};

struct CTestObject {
    CTestObject() : raw(new CTestDispatch)
    {
        // The smart pointer takes over our first reference.
        pointer.Attach(raw);
    }
    CTestDispatch* raw;
    IDispatchPtr pointer;
};

// Installs the handler the add-in uses for the COM support library's errors.
class CComErrorHandler {
public:
    CComErrorHandler() { _set_com_error_handler(ThrowAtlComException); }
    ~CComErrorHandler() { _set_com_error_handler(_com_raise_error); }
};

bool HasNonSuccessReport(const CLogCapture& log, const char* function)
{
    return std::regex_search(log.Text(), std::regex(std::string("WARNING: Non-success condition during COM call at "
                                                                "ComUtil\\.cpp, ") +
                                                    function + ", line \\d+: "));
}

} // namespace

TEST(ComUtil, ReadsAnObjectPropertyByName)
{
    CTestObject object;
    VARIANT result;
    VARIANT& returned = GetDispatchPropertyByName(result, object.pointer, L"ActiveInlineResponse");
    EXPECT_EQ(&returned, &result);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(object.raw));
    EXPECT_EQ(object.raw->lastIid, IID_NULL);
    EXPECT_EQ(object.raw->lastLocale, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_EQ(object.raw->lastFlags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(object.raw->lastArgumentCount, 0u);
    EXPECT_EQ(object.raw->lastNamedArgumentCount, 0u);
    EXPECT_FALSE(object.raw->hadExceptionInfo);
    EXPECT_FALSE(object.raw->hadArgumentError);
    // The caller owns the reference it got.
    EXPECT_EQ(object.raw->References(), 2u);
    VariantClear(&result);
    EXPECT_EQ(object.raw->References(), 1u);
}

TEST(ComUtil, LooksUpMemberIds)
{
    CTestObject object;
    EXPECT_EQ(GetDispatchMemberIdFromName(object.pointer, L"Caption"), kCaption);
    EXPECT_EQ(object.raw->lastNameCount, 1u);
    EXPECT_EQ(object.raw->lastIid, IID_NULL);
    EXPECT_EQ(object.raw->lastLocale, static_cast<LCID>(LOCALE_USER_DEFAULT));

    CLogCapture log;
    try {
        GetDispatchMemberIdFromName(object.pointer, L"NoSuchMember");
        ADD_FAILURE() << "nothing raised";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), DISP_E_UNKNOWNNAME);
    }
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at ComUtil\\.cpp, "
                                                         "Quenzal::Com::GetDispatchMemberIdFromName, line \\d+: ")));

    // A success other than S_OK is logged and the id still used.
    EXPECT_EQ(GetDispatchMemberIdFromName(object.pointer, L"Tentative"), kTentative);
    EXPECT_TRUE(HasNonSuccessReport(log, "Quenzal::Com::GetDispatchMemberIdFromName"));
}

TEST(ComUtil, AValueThatIsNoObjectRaisesAndIsCleared)
{
    CTestObject object;
    CLogCapture log;
    VARIANT result;
    try {
        GetDispatchPropertyByName(result, object.pointer, L"Caption");
        ADD_FAILURE() << "nothing raised";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"Return value of IDispatch::Invoke is of an unexpected type");
    }
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at ComUtil\\.cpp, "
                                                         "Quenzal::Com::GetDispatchPropertyById, line \\d+: Return "
                                                         "value of IDispatch::Invoke is of an unexpected type")));
}

TEST(ComUtil, InvokeResultsAreCheckedLikeOtherComCalls)
{
    CTestObject object;
    CLogCapture log;
    VARIANT result;
    try {
        GetDispatchPropertyByName(result, object.pointer, L"Broken");
        ADD_FAILURE() << "nothing raised";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_ACCESSDENIED);
    }
    EXPECT_EQ(result.vt, VT_EMPTY);

    GetDispatchPropertyById(result, object.pointer, kTentative);
    EXPECT_EQ(result.vt, VT_DISPATCH);
    EXPECT_TRUE(HasNonSuccessReport(log, "Quenzal::Com::GetDispatchPropertyById"));
    VariantClear(&result);
    EXPECT_EQ(object.raw->References(), 1u);
}

TEST(ComUtil, ANullObjectRaisesThroughTheComErrorHandler)
{
    IDispatchPtr none;
    VARIANT result;
    {
        CComErrorHandler handler;
        try {
            GetDispatchPropertyByName(result, none, L"ActiveInlineResponse");
            ADD_FAILURE() << "nothing raised";
        } catch (const CComError& e) {
            EXPECT_EQ(e.GetHResult(), E_POINTER);
        }
        EXPECT_THROW(GetDispatchPropertyById(result, none, kInlineResponse), CComError);
        EXPECT_EQ(result.vt, VT_EMPTY);
    }
    // Without our handler the COM support library raises its own error.
    try {
        GetDispatchMemberIdFromName(none, L"Caption");
        ADD_FAILURE() << "nothing raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}

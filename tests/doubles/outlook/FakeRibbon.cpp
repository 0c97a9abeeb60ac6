#include "FakeRibbon.h"

#include "OfficeInterfaces.h"

#include <gtest/gtest.h>

namespace QzlFake {

namespace {

const TiXmlElement* FindById(const TiXmlElement* element, const char* id)
{
    for (; element != nullptr; element = element->NextSiblingElement()) {
        const char* own = element->Attribute("id");
        const char* qualified = element->Attribute("idQ");
        if ((own != nullptr && strcmp(own, id) == 0) || (qualified != nullptr && strcmp(qualified, id) == 0))
            return element;
        if (const TiXmlElement* found = FindById(element->FirstChildElement(), id))
            return found;
    }
    return nullptr;
}

} // namespace

CFakeRibbonHost::CFakeRibbonHost(IUnknown* addIn)
{
    ribbonUi = CFakeObject::Create({Office::RibbonUI});
    ribbonUi->Method(L"Invalidate", [](const Values&) { return _variant_t(); });
    ribbonUi->Method(L"InvalidateControl", [](const Values& arguments) {
        if (arguments.size() != 1 || arguments[0].vt != VT_BSTR)
            throw DISP_E_TYPEMISMATCH;
        return _variant_t();
    });
    EXPECT_EQ(S_OK, addIn->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&m_dispatch)));
    EXPECT_EQ(S_OK, addIn->QueryInterface(Office::RibbonExtensibility, reinterpret_cast<void**>(&m_extensibility)));
}

CFakeRibbonHost::~CFakeRibbonHost()
{
    if (m_dispatch != nullptr)
        m_dispatch->Release();
    if (m_extensibility != nullptr)
        m_extensibility->Release();
}

HRESULT CFakeRibbonHost::Load(const std::wstring& ribbonId)
{
    if (m_extensibility == nullptr)
        return E_NOINTERFACE;
    BSTR xml = nullptr;
    _bstr_t id(ribbonId.c_str());
    HRESULT hr = E_UNEXPECTED;
    try {
        hr = static_cast<IRibbonExtensibility*>(m_extensibility)->raw_GetCustomUI(id, &xml);
    } catch (...) {
        ADD_FAILURE() << "an exception crossed the COM boundary in GetCustomUI";
    }
    _bstr_t holder(xml, false);
    m_documents.erase(ribbonId);
    m_xml.erase(ribbonId);
    if (xml == nullptr)
        return hr;
    // The document is UTF-8 (_bstr_t would convert to the ANSI code page).
    std::string text;
    int length = ::WideCharToMultiByte(CP_UTF8, 0, xml, -1, nullptr, 0, nullptr, nullptr);
    text.assign(static_cast<size_t>(length > 0 ? length - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, xml, -1, text.data(), length, nullptr, nullptr);
    auto document = std::make_unique<TiXmlDocument>();
    document->Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    EXPECT_FALSE(document->Error()) << document->ErrorDesc() << " in\n" << text;
    m_xml[ribbonId] = text;
    const TiXmlElement* root = document->RootElement();
    const char* onLoad = root != nullptr ? root->Attribute("onLoad") : nullptr;
    m_documents[ribbonId] = std::move(document);
    if (onLoad != nullptr && !m_loaded) {
        m_loaded = true;
        std::wstring callback(onLoad, onLoad + strlen(onLoad));
        EXPECT_EQ(S_OK, Call(callback, {_variant_t(static_cast<IDispatch*>(ribbonUi.Get()))}));
    }
    return hr;
}

std::string CFakeRibbonHost::GetXml(const std::wstring& ribbonId) const
{
    auto found = m_xml.find(ribbonId);
    return found == m_xml.end() ? std::string() : found->second;
}

const TiXmlElement* CFakeRibbonHost::FindControl(const std::wstring& ribbonId, const char* controlId) const
{
    auto found = m_documents.find(ribbonId);
    return found == m_documents.end() ? nullptr : FindById(found->second->RootElement(), controlId);
}

CFakeRef CFakeRibbonHost::MakeControl(const std::wstring& id, IDispatch* context)
{
    CFakeRef control = CFakeObject::Create({Office::RibbonControl});
    control->Property(L"Id", id.c_str()).Property(L"Context", context).Property(L"Tag", L"");
    return control;
}

HRESULT CFakeRibbonHost::Call(const std::wstring& callback, std::vector<_variant_t> arguments, _variant_t* result)
{
    if (m_dispatch == nullptr)
        return E_NOINTERFACE;
    LPOLESTR name = const_cast<LPOLESTR>(callback.c_str());
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    _variant_t answer;
    EXCEPINFO exception = {};
    try {
        hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &answer, &exception,
                                nullptr);
    } catch (...) {
        ADD_FAILURE() << "an exception crossed the COM boundary in ribbon callback";
        hr = E_UNEXPECTED;
    }
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
        hr = exception.scode;
    if (result != nullptr)
        *result = answer;
    return hr;
}

HRESULT CFakeRibbonHost::CallControl(const std::wstring& ribbonId, const char* controlId, const char* attribute,
                                     IDispatch* window, _variant_t* result, bool pressed)
{
    const TiXmlElement* element = FindControl(ribbonId, controlId);
    const char* callback = element != nullptr ? element->Attribute(attribute) : nullptr;
    if (callback == nullptr) {
        ADD_FAILURE() << controlId << " has no " << attribute;
        return E_INVALIDARG;
    }
    CFakeRef control = MakeControl(std::wstring(controlId, controlId + strlen(controlId)), window);
    std::vector<_variant_t> arguments = {_variant_t(static_cast<IDispatch*>(control.Get()))};
    if (strcmp(attribute, "onAction") == 0 && strcmp(element->Value(), "toggleButton") == 0)
        arguments.emplace_back(pressed);
    return Call(std::wstring(callback, callback + strlen(callback)), arguments, result);
}

} // namespace QzlFake

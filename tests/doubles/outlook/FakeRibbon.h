#pragma once
// Office's ribbon for one add-in: asks the add-in for its custom-UI XML per
// ribbon id (IRibbonExtensibility::GetCustomUI), parses it, and calls the
// callbacks the XML names by name through the add-in's IDispatch, with a
// stand-in IRibbonControl whose Context is an Outlook window. The ribbon's
// IRibbonUI, handed to the onLoad callback, counts Invalidate and
// InvalidateControl (CallCount). A callback that lets an exception out, or
// XML that does not parse, fails the running test.

#include "FakeOutlook.h"

#include <tinyxml.h>

#include <map>
#include <memory>
#include <string>

namespace QzlFake {

namespace Office {

inline constexpr IID RibbonControl = Outlook::Iid(0x000C0395);
inline constexpr IID RibbonUI = Outlook::Iid(0x000C03A7);
inline constexpr IID RibbonExtensibility = Outlook::Iid(0x000C0396);

} // namespace Office

class CFakeRibbonHost {
public:
    // The add-in object Outlook created (any of its interfaces).
    explicit CFakeRibbonHost(IUnknown* addIn);
    ~CFakeRibbonHost();
    CFakeRibbonHost(const CFakeRibbonHost&) = delete;
    CFakeRibbonHost& operator=(const CFakeRibbonHost&) = delete;

    // GetCustomUI for the ribbon id; answers its HRESULT. The first document
    // with an onLoad callback gets the ribbon UI through it.
    HRESULT Load(const std::wstring& ribbonId);
    // The XML the add-in gave for the ribbon id (UTF-8); empty when none.
    std::string GetXml(const std::wstring& ribbonId) const;
    // The element of that id (id or idQ) in the ribbon id's document, or null.
    const TiXmlElement* FindControl(const std::wstring& ribbonId, const char* controlId) const;

    // A stand-in IRibbonControl.
    static CFakeRef MakeControl(const std::wstring& id, IDispatch* context);
    // Calls a callback by name; the arguments in declaration order (the
    // control first). Answers the HRESULT of Invoke, the callback's value in result.
    HRESULT Call(const std::wstring& callback, std::vector<_variant_t> arguments, _variant_t* result = nullptr);
    // Calls the callback that the control's attribute (getLabel, onAction, ...)
    // names, for the control shown in the window; a toggle button's onAction
    // is given pressed.
    HRESULT CallControl(const std::wstring& ribbonId, const char* controlId, const char* attribute, IDispatch* window,
                        _variant_t* result = nullptr, bool pressed = true);

    CFakeRef ribbonUi;

private:
    IDispatch* m_dispatch = nullptr;
    IUnknown* m_extensibility = nullptr;
    std::map<std::wstring, std::unique_ptr<TiXmlDocument>> m_documents;
    std::map<std::wstring, std::string> m_xml;
    bool m_loaded = false;
};

} // namespace QzlFake

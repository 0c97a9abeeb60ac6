#include "RibbonSupport.h"

#include "AddInFamily.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Logging.h"
#include "NameTables.h"
#include "Util.h"

namespace Quenzal::OutlookAddIn {

const wchar_t* const FamilyXmlNamespace = L"urn:quenzal:outlook-add-in-family";

namespace {

Net::CEnumNameMap<wchar_t>& BackstageElements()
{
    static Net::CEnumNameMap<wchar_t> table({
        {BackstageConfig, L"config"},
        {BackstageLogs, L"logs"},
        {BackstageStatus, L"status"},
    });
    return table;
}

// Built with the module's other tables, not on the first backstage request.
[[maybe_unused]] const bool g_backstageElementsBuilt = (BackstageElements(), true);

// The oldest version of each family member that shares a vertical box.
constexpr const wchar_t* VerticalGroupMinimumVersions[QuenzalAddInCount] = {L"5.1", L"3.1", L""};

// Office shows a single "&" as the mnemonic marker.
StringW DoubleAmpersands(const StringW& text)
{
    StringW doubled;
    for (wchar_t c : text) {
        doubled += c;
        if (c == L'&')
            doubled += c;
    }
    return doubled;
}

Net::CXmlFragment CreateEmptyElement(const wchar_t* element, const Net::XmlAttributes& attributes)
{
    if (attributes.find(L"id") == attributes.end())
        QZL_THROW(L"Quenzal::OutlookAddIn::Ribbon::CreateButton",
                  CException(L"'id' attribute not found in ribbon element attributes"));
    Net::CXmlFragment fragment;
    fragment.AddEmptyElement(element, attributes);
    return fragment;
}

} // namespace

int GetBackstageElement(const std::wstring& name)
{
    return BackstageElements().LookupValue(name);
}

StringW GetBackstageElementName(int element)
{
    return BackstageElements().LookupName(element);
}

namespace Ribbon {

Net::XmlAttributes MakeButtonAttributes(const StringW& controlId, const StringW& extraName, const StringW& extraValue)
{
    return {
        {L"id", controlId},
        {extraName, extraValue},
        {L"getLabel", L"GetRibbonButtonLabel"},
        {L"getScreentip", L"GetRibbonButtonLabel"},
        {L"getSupertip", L"GetRibbonButtonTooltip"},
        {L"getVisible", L"GetRibbonButtonVisible"},
        {L"getEnabled", L"GetRibbonButtonEnabled"},
        {L"onAction", L"OnRibbonButtonClicked"},
    };
}

Net::CXmlFragment CreateButton(const Net::XmlAttributes& attributes)
{
    return CreateEmptyElement(L"button", attributes);
}

Net::CXmlFragment CreateToggleButton(const Net::XmlAttributes& attributes)
{
    Net::XmlAttributes toggle = attributes;
    toggle[L"onAction"] = L"OnRibbonButtonToggled";
    toggle[L"getPressed"] = L"GetRibbonButtonPressedState";
    return CreateEmptyElement(L"toggleButton", toggle);
}

Net::CXmlFragment CreateCustomImageButton(const StringW& controlId)
{
    return CreateButton(MakeButtonAttributes(controlId, L"getImage", L"GetRibbonButtonImage"));
}

Net::CXmlFragment CreateMsoImageButton(const StringW& controlId, const StringW& imageMso)
{
    return CreateButton(MakeButtonAttributes(controlId, L"imageMso", imageMso));
}

Net::CXmlFragment CreateMsoImageToggleButton(const StringW& controlId, const StringW& imageMso)
{
    return CreateToggleButton(MakeButtonAttributes(controlId, L"imageMso", imageMso));
}

Net::CXmlFragment CreateGroup(const StringW& tabIdMso, bool vertical)
{
    Net::CXmlFragment fragment;
    fragment.StartElement(L"group", {{L"idQ", L"qzl:Toolbar." + tabIdMso}, {L"label", L"Quenzal Networks"}});
    Net::XmlAttributes box = {{L"idQ", L"qzl:Box." + tabIdMso}};
    if (vertical)
        box[L"boxStyle"] = L"vertical";
    fragment.StartElement(L"box", box);
    return fragment;
}

bool CanUseVerticalGroups(const CDispatchObject& application)
{
    for (int index = 0; index < QuenzalAddInCount; ++index) {
        try {
            CDispatchObject addIn = FindQuenzalAddIn(application, index);
            if (!addIn || !addIn.GetBool(L"Connect"))
                continue;
            StringW description = GetQuenzalAddInDescription(index);
            StringW version = GetQuenzalAddInVersion(index);
            if (version.empty()) {
                Logging::LogFormat(Logging::Warning,
                                   L"Unable to determine version of add-in '%s'; assuming older than required; "
                                   L"unable to use vertical groups",
                                   description.c_str());
                return false;
            }
            if (CompareVersionStrings(version, VerticalGroupMinimumVersions[index]) < 0) {
                Logging::LogFormat(Logging::Warning,
                                   L"Detected older version '%s' of add-in '%s'; unable to use vertical groups",
                                   version.c_str(), description.c_str());
                return false;
            }
        }
        QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::Ribbon::CanUseVerticalGroups")
    }
    return true;
}

StringW MakeControlId()
{
    return L"Control" + StringW::FromAnsi(CreateGuidHexString(), CP_ACP);
}

Net::CXmlFragment CreateBackstageGroup(int familyIndex)
{
    StringW progId = GetQuenzalAddInProgId(familyIndex);
    StringW label = DoubleAmpersands(GetQuenzalAddInDescription(familyIndex) + L" Outlook Add-In");
    Net::CXmlFragment fragment;
    fragment.StartElement(L"group", {{L"id", progId + L".group"}, {L"label", label}});
    fragment.StartElement(L"primaryItem");
    fragment.Append(CreateBackstageElement(familyIndex, BackstageConfig));
    fragment.EndElement();
    fragment.StartElement(L"topItems");
    fragment.StartElement(L"layoutContainer", {{L"id", MakeControlId()}, {L"layoutChildren", L"horizontal"}});
    fragment.Append(CreateBackstageElement(familyIndex, BackstageStatus));
    fragment.Append(CreateBackstageElement(familyIndex, BackstageLogs));
    return fragment;
}

Net::CXmlFragment CreateBackstageElement(int familyIndex, int element)
{
    StringW id = StringW::Format(L"%s.%s", GetQuenzalAddInProgId(familyIndex).c_str(),
                                 GetBackstageElementName(element).c_str());
    Net::CXmlFragment fragment;
    switch (element) {
    case BackstageConfig:
        fragment.AddEmptyElement(L"button", {{L"getImage", L"GetBackstageImage"},
                                             {L"getLabel", L"GetBackstageElementLabel"},
                                             {L"id", id},
                                             {L"onAction", L"OnBackstageButtonClicked"}});
        break;
    case BackstageLogs:
        fragment.AddEmptyElement(L"button", {{L"getLabel", L"GetBackstageElementLabel"},
                                             {L"id", id},
                                             {L"onAction", L"OnBackstageButtonClicked"}});
        break;
    case BackstageStatus:
        fragment.AddEmptyElement(L"labelControl", {{L"getLabel", L"GetBackstageElementLabel"}, {L"id", id}});
        break;
    default:
        break;
    }
    return fragment;
}

int GetBackstageElementFromControl(IDispatch* control)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::Ribbon::GetBackstageElementFromControl";
    if (control == nullptr)
        QZL_THROW(function, CComError(E_POINTER));
    try {
        StringW id = CDispatchObject(control).GetString(L"Id");
        size_t dot = id.rfind(L'.');
        StringW name = dot == StringW::npos ? StringW() : StringW(id.substr(dot + 1));
        return name.empty() ? -1 : GetBackstageElement(name);
    }
    QZL_CATCH_REPORT(function)
    return -1;
}

} // namespace Ribbon

} // namespace Quenzal::OutlookAddIn

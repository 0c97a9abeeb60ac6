#pragma once
// The pieces of the custom-UI XML that every add-in of the family writes the
// same way, so that Office merges them: buttons with the framework's callback
// names, the shared group per tab, the backstage group of a family member.
// The add-ins of the family bind the prefix "qzl" to one namespace and name
// their shared group, box and backstage tab with ids qualified by it (idQ);
// Office merges controls with equal qualified ids across add-ins.
//
// Attributes come out in the case-insensitive order of their names (the
// attribute map's order); elements left without content disappear.

#include "DispatchObject.h"
#include "XmlGenerator.h"

namespace Quenzal::OutlookAddIn {

// The namespace every family member binds to "qzl".
extern const wchar_t* const FamilyXmlNamespace;

// The backstage elements of a family member, by their names in the control ids.
enum BackstageElement : int { BackstageConfig = 0, BackstageLogs = 1, BackstageStatus = 2 };
// Letter case ignored; -1 for a name that is not an element.
int GetBackstageElement(const std::wstring& name);
// Empty for a value that is not an element.
StringW GetBackstageElementName(int element);

namespace Ribbon {

// id, the extra attribute, and the label, screentip, supertip, visibility,
// enabled and click callbacks.
Net::XmlAttributes MakeButtonAttributes(const StringW& controlId, const StringW& extraName,
                                        const StringW& extraValue);
// One empty "button" element with exactly these attributes; raises
// CException when they have no id.
Net::CXmlFragment CreateButton(const Net::XmlAttributes& attributes);
// The same as a "toggleButton", whose click is a toggle and which tells its pressed state.
Net::CXmlFragment CreateToggleButton(const Net::XmlAttributes& attributes);
// A button whose image the add-in gives (getImage).
Net::CXmlFragment CreateCustomImageButton(const StringW& controlId);
// Buttons with one of Office's own images (imageMso).
Net::CXmlFragment CreateMsoImageButton(const StringW& controlId, const StringW& imageMso);
Net::CXmlFragment CreateMsoImageToggleButton(const StringW& controlId, const StringW& imageMso);

// The family's shared group on a tab, with "group" and "box" left open for the buttons.
Net::CXmlFragment CreateGroup(const StringW& tabIdMso, bool vertical);
// Whether every connected family member is new enough to share a vertical box;
// never raises (a member that cannot be examined is reported and skipped).
bool CanUseVerticalGroups(const CDispatchObject& application);
// "Control" and a new GUID's 32 hexadecimal digits: an id no other control has.
StringW MakeControlId();

// The backstage group of a family member, with "group", "topItems" and
// "layoutContainer" left open.
Net::CXmlFragment CreateBackstageGroup(int familyIndex);
// One element of that group; empty for an element that does not exist.
Net::CXmlFragment CreateBackstageElement(int familyIndex, int element);
// The element named by the last part of the control's id; -1 when there is
// none or it cannot be read (reported). A null control raises CComError.
int GetBackstageElementFromControl(IDispatch* control);

} // namespace Ribbon

} // namespace Quenzal::OutlookAddIn

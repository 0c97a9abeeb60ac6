#pragma once
// Late binding: an Outlook or Office object reached only through IDispatch,
// its members called by name. No guessed virtual-table layout stands between
// the add-in and Outlook. The member ids of the names are looked up once per
// object and kept (shared by the copies of one CDispatchObject).
//
// Every failing call raises CComError (reported "Throwing exception") whose
// context names the member; a success code other than S_OK is only reported.
// Arguments are given in declaration order. For use on the thread that owns
// the object (Outlook's user-interface thread).

#include "ComUtil.h"
#include "StringW.h"

#include <comdef.h>

#include <initializer_list>
#include <map>
#include <memory>

namespace Quenzal::OutlookAddIn {

class CDispatchObject {
public:
    using Arguments = std::initializer_list<_variant_t>;

    CDispatchObject() = default;
    // Takes a reference of its own; null gives the empty object.
    explicit CDispatchObject(IDispatch* object);
    // The object as the dual interface iid (every dual interface begins with
    // IDispatch's slots): empty for null or an object without that interface;
    // any other failure of QueryInterface raises CComError.
    static CDispatchObject Query(IUnknown* object, REFIID iid = IID_IDispatch);
    // An object-valued result: VT_DISPATCH or VT_UNKNOWN (possibly null), or
    // empty for VT_EMPTY and VT_NULL; other types raise CComError(DISP_E_TYPEMISMATCH).
    static CDispatchObject FromVariant(const VARIANT& value);

    IDispatch* GetInterface() const { return m_object.GetInterfacePtr(); }
    const Com::IDispatchPtr& GetPointer() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // True when the object answers QueryInterface for the iid.
    bool Supports(REFIID iid) const;

    // A property (or a method's result): parameterised properties such as
    // Item(index) or LanguageID(kind) take their arguments here.
    _variant_t Get(const wchar_t* name, Arguments arguments = {}) const;
    CDispatchObject GetDispatch(const wchar_t* name, Arguments arguments = {}) const;
    StringW GetString(const wchar_t* name, Arguments arguments = {}) const;
    long GetLong(const wchar_t* name, Arguments arguments = {}) const;
    bool GetBool(const wchar_t* name, Arguments arguments = {}) const;
    void Put(const wchar_t* name, const _variant_t& value) const;
    _variant_t Call(const wchar_t* name, Arguments arguments = {}) const;

    DISPID GetMemberId(const wchar_t* name) const;

private:
    _variant_t Invoke(const wchar_t* name, WORD flags, Arguments arguments, const VARIANT* putValue) const;

    struct NameLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const
        {
            return _wcsicmp(left.c_str(), right.c_str()) < 0;
        }
    };
    using MemberIds = std::map<std::wstring, DISPID, NameLess>;

    Com::IDispatchPtr m_object;
    std::shared_ptr<MemberIds> m_memberIds;
};

} // namespace Quenzal::OutlookAddIn

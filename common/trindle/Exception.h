#pragma once
// The program's exception family. Every failure of our own code is raised as
// a CException (or a derivative) and every raise and handled catch writes one
// report line to the log (see ErrorReport.h). Every derivative overrides Clone.

#include "StringW.h"

#include <exception>
#include <string>

namespace Quenzal {

class CException : public std::exception {
public:
    CException() = default;
    explicit CException(const std::string& utf8);
    explicit CException(const char* utf8);
    explicit CException(const wchar_t* text);
    explicit CException(const std::wstring& text);
    // The message of a localized message id, fit to be shown to the user as it is
    // (defined with the message tables, Localization.cpp).
    explicit CException(int lid);
    CException(const CException& other) = default;
    CException& operator=(const CException& other) = default;

    virtual ~CException() = default;
    // A copy of the same class: one failure handed to several readers gives
    // each a copy of its own (ExceptionTransport.h).
    virtual std::exception_ptr Clone() const { return std::make_exception_ptr(*this); }
    const char* what() const noexcept override;
    virtual StringW GetDescription() const;
    virtual DWORD GetErrorCode() const;
    virtual HRESULT GetHResult() const;
    virtual bool IsUserMessage() const;
    virtual void SetUserMessage(bool userMessage);

protected:
    StringW m_message;
    mutable std::string m_narrow;
    bool m_userMessage = false;
};

// A failed (or non-success) HRESULT.
class CComError : public CException {
public:
    explicit CComError(HRESULT hr, const wchar_t* context = nullptr);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    StringW GetDescription() const override;
    DWORD GetErrorCode() const override { return static_cast<DWORD>(m_hr); }
    HRESULT GetHResult() const override { return m_hr; }
    const StringW& GetContext() const { return m_context; }

protected:
    HRESULT m_hr;
    StringW m_context;
};

// A Win32 error code; its text comes from the system's message tables.
class CWinError : public CException {
public:
    CWinError();
    explicit CWinError(const wchar_t* context);
    CWinError(DWORD code, const wchar_t* context);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    StringW GetDescription() const override;
    DWORD GetErrorCode() const override { return m_code; }
    HRESULT GetHResult() const override;
    const StringW& GetContext() const { return m_context; }

protected:
    DWORD m_code;
    StringW m_context;
};

// A failed runtime-library call that set errno.
class CCrtError : public CException {
public:
    explicit CCrtError(const wchar_t* context);
    CCrtError(int errorNumber, const wchar_t* context);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    StringW GetDescription() const override;
    DWORD GetErrorCode() const override { return static_cast<DWORD>(m_errno); }

protected:
    int m_errno;
    StringW m_context;
};

StringW GetErrorText(DWORD code);
StringW FormatErrorCode(DWORD code);
StringW FormatDecimal(DWORD code);
void RegisterErrorCodeName(DWORD code, const wchar_t* name);
StringW GetErrorCodeName(DWORD code);
StringW CombineMessage(const std::wstring& left, const std::wstring& right);

} // namespace Quenzal

#pragma once
// A request to the appliance that did not succeed, with what to tell the user
// about it. The error keeps the request and its answer alive.

#include "Exception.h"

#include <windows.h>

#include <memory>

namespace Quenzal::Net {
class CAsyncHttpRequestContext;
}

class CNxoApiError : public Quenzal::CException {
public:
    explicit CNxoApiError(const std::shared_ptr<Quenzal::Net::CAsyncHttpRequestContext>& context);

    // "Request canceled", "Network error" or the answer's status line.
    Quenzal::StringW GetDescription() const override;
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    // The HTTP status; 0xFFFFFFFF without an answer.
    DWORD GetErrorCode() const override;
    // Empty for a canceled request: the user asked for it.
    Quenzal::StringW GetUserMessage() const;
    // An error box over the owner, unless there is nothing to say.
    void ShowUserMessage(HWND owner) const;

    const std::shared_ptr<Quenzal::Net::CAsyncHttpRequestContext>& GetContext() const { return m_context; }

private:
    bool IsSocketFailure() const;

    std::shared_ptr<Quenzal::Net::CAsyncHttpRequestContext> m_context;
};

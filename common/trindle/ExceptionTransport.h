#pragma once
// Carries an exception from the thread where it happened to the thread that
// reads the result.

#include <exception>

namespace Quenzal {

class IExceptionTransport {
public:
    IExceptionTransport() = default;
    IExceptionTransport(const IExceptionTransport&) = delete;
    IExceptionTransport& operator=(const IExceptionTransport&) = delete;
    virtual ~IExceptionTransport() = default;

    virtual void SetException(std::exception_ptr exception);
    virtual std::exception_ptr GetException() const;
    virtual bool HasException() const;
    // Throws a copy of the held exception; returns when there is none.
    virtual void RethrowException() const;
    virtual void ClearException();

private:
    std::exception_ptr m_exception;
};

} // namespace Quenzal

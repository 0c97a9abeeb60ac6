#include "ExceptionTransport.h"

#include "Exception.h"

#include <typeinfo>

namespace Quenzal {

namespace {

bool IsOfType(const std::exception_ptr& exception, const std::type_info& type)
{
    try {
        std::rethrow_exception(exception);
    } catch (const CException& e) {
        return typeid(e) == type;
    }
}

} // namespace

void IExceptionTransport::SetException(std::exception_ptr exception)
{
    m_exception = std::move(exception);
}

std::exception_ptr IExceptionTransport::GetException() const
{
    return m_exception;
}

bool IExceptionTransport::HasException() const
{
    return static_cast<bool>(m_exception);
}

void IExceptionTransport::RethrowException() const
{
    if (!HasException())
        return;
    // Several readers may raise one failure at once, format it and change it:
    // each gets a copy of its own. Exceptions of other families cannot be
    // changed and go out as they are.
    try {
        std::rethrow_exception(m_exception);
    } catch (const CException& e) {
        std::exception_ptr copy = e.Clone();
        // A derivative without a Clone of its own would come back cut down to
        // its base class, which the reader may not be catching: it goes out
        // as it was stored.
        if (!IsOfType(copy, typeid(e)))
            throw;
        std::rethrow_exception(copy);
    }
}

void IExceptionTransport::ClearException()
{
    m_exception = nullptr;
}

} // namespace Quenzal

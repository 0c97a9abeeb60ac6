#include "ExceptionTransport.h"

#include "Exception.h"

namespace Quenzal {

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
        std::rethrow_exception(e.Clone());
    }
}

void IExceptionTransport::ClearException()
{
    m_exception = nullptr;
}

} // namespace Quenzal

#include "ExceptionTransport.h"

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
    if (HasException())
        std::rethrow_exception(m_exception);
}

void IExceptionTransport::ClearException()
{
    m_exception = nullptr;
}

} // namespace Quenzal

#pragma once
// Failures of a chain of streams. Whatever goes wrong while a stream is
// written reaches the producer as CStreamWritingError; whatever goes wrong
// while a streamable writes itself out reaches it as CStreamReadingError.
// The description keeps the text of the first error.

#include "Exception.h"

namespace Quenzal {

class CStreamingError : public CException {
public:
    explicit CStreamingError(const std::wstring& text);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
};

class CStreamReadingError : public CStreamingError {
public:
    explicit CStreamReadingError(const std::wstring& text);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
};

class CStreamWritingError : public CStreamingError {
public:
    explicit CStreamWritingError(const std::wstring& text);
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
};

} // namespace Quenzal

#pragma once
// The byte-stream model: producers (MIME entities, HTTP messages, files)
// write into an IOutStream; anything that holds bytes it can write out whole
// is an IStreamable. Lengths are unsigned 64-bit byte counts.

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace Quenzal {

// Where bytes go: memory, a file, a socket, a connection. Write is the one
// entry for producers; it counts what was written and turns every failure
// into a CStreamingError.
class IOutStream : private boost::noncopyable {
public:
    virtual ~IOutStream() = default;
    virtual bool IsOpen() const = 0;

    void Write(const void* data, uint64_t length);
    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
    uint64_t GetBytesWritten() const { return m_bytesWritten; }

protected:
    // The stream's own raw write; called only while the stream is open and
    // never with a length of 0.
    virtual void DoWrite(const void* data, uint64_t length) = 0;

private:
    uint64_t m_bytesWritten = 0;
};

// Something that can write all its bytes into a stream and tell their
// number beforehand.
class IStreamable : private boost::noncopyable {
public:
    virtual ~IStreamable() = default;
    virtual uint64_t GetLength() const = 0;
    virtual void WriteTo(IOutStream& stream) const = 0;
};

// Writes the streamable into the stream; a failure that is not already a
// streaming error becomes CStreamReadingError.
IOutStream& operator<<(IOutStream& stream, const IStreamable& streamable);

std::string StreamToString(const IStreamable& streamable);
// A null pointer gives an empty string.
std::string StreamToString(const std::shared_ptr<const IStreamable>& streamable);

} // namespace Quenzal

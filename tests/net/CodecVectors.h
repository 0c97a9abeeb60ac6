#pragma once
// Test vectors kept as data files under net/data (see the comment at the top
// of each file for its format), and the malformed-input corpus made from them.

#include "StringW.h"

#include <string>
#include <vector>

namespace NetTest {

struct Vector {
    std::string input;     // as written, escapes not yet resolved
    std::string expected;  // as written
    int line = 0;
};

// The whole of a data file relative to the tests' working directory
// ("net/data/..."); the test fails when the file is missing or empty.
std::string ReadData(const char* relativePath);
// The vectors of a file relative to the tests' working directory ("net/data/...").
std::vector<Vector> ReadVectors(const char* relativePath);
// The bytes an escaped field stands for (\uHHHH as UTF-8).
std::string Bytes(const std::string& field);
// The characters an escaped field stands for (\xHH as the character of that number).
Quenzal::StringW Text(const std::string& field);
// Every input of the vector files named, as bytes.
std::vector<std::string> CorpusSeeds(const std::vector<const char*>& relativePaths);

// Malformed input made from seeds: every truncation of every seed, every seed
// with bytes replaced, seeds repeated to an oversized input, and random bytes.
std::vector<std::string> MalformedInputs(const std::vector<std::string>& seeds);

// A copy of the bytes that ends right at a page the process may not touch, so
// that reading one byte past the end crashes the test instead of passing.
class CGuardedBuffer {
public:
    explicit CGuardedBuffer(const std::string& bytes);
    ~CGuardedBuffer();
    CGuardedBuffer(const CGuardedBuffer&) = delete;
    CGuardedBuffer& operator=(const CGuardedBuffer&) = delete;

    const char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    void* m_block = nullptr;
    const char* m_data = nullptr;
    size_t m_size = 0;
};

} // namespace NetTest

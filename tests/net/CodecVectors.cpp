#include "CodecVectors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace NetTest {

namespace {

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    throw std::invalid_argument("bad hex digit in a vector file");
}

unsigned ReadHex(const std::string& field, size_t& i, int digits)
{
    if (i + digits > field.size())
        throw std::invalid_argument("escape cut short in a vector file");
    unsigned value = 0;
    for (int d = 0; d < digits; ++d)
        value = value * 16 + static_cast<unsigned>(HexValue(field[i++]));
    return value;
}

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Resolves the escapes; character values go through append.
template <class Append>
void Unescape(const std::string& field, Append append)
{
    for (size_t i = 0; i < field.size();) {
        char ch = field[i++];
        if (ch != '\\') {
            append(static_cast<unsigned char>(ch), false);
            continue;
        }
        if (i >= field.size())
            throw std::invalid_argument("lone backslash in a vector file");
        char kind = field[i++];
        switch (kind) {
        case 'r': append('\r', false); break;
        case 'n': append('\n', false); break;
        case 't': append('\t', false); break;
        case '\\': append('\\', false); break;
        case 'x': append(ReadHex(field, i, 2), false); break;
        case 'u': append(ReadHex(field, i, 4), true); break;
        default: throw std::invalid_argument("unknown escape in a vector file");
        }
    }
}

} // namespace

std::string ReadData(const char* relativePath)
{
    std::string data = QzlTest::ReadWholeFile(Quenzal::StringW(std::string(relativePath)));
    EXPECT_FALSE(data.empty()) << relativePath;
    return data;
}

std::vector<Vector> ReadVectors(const char* relativePath)
{
    std::ifstream file(relativePath, std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("cannot open ") + relativePath);
    std::vector<Vector> vectors;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            throw std::runtime_error(std::string(relativePath) + ": no TAB in line " + std::to_string(number));
        vectors.push_back(Vector{line.substr(0, tab), line.substr(tab + 1), number});
    }
    return vectors;
}

std::string Bytes(const std::string& field)
{
    std::string out;
    Unescape(field, [&](unsigned value, bool character) {
        if (character)
            AppendUtf8(out, value);
        else
            out.push_back(static_cast<char>(value));
    });
    return out;
}

Quenzal::StringW Text(const std::string& field)
{
    Quenzal::StringW out;
    Unescape(field, [&](unsigned value, bool) { out.push_back(static_cast<wchar_t>(value)); });
    return out;
}

std::vector<std::string> CorpusSeeds(const std::vector<const char*>& relativePaths)
{
    std::vector<std::string> seeds;
    for (const char* path : relativePaths) {
        for (const Vector& vector : ReadVectors(path))
            seeds.push_back(Bytes(vector.input));
    }
    return seeds;
}

std::vector<std::string> MalformedInputs(const std::vector<std::string>& seeds)
{
    std::vector<std::string> inputs;
    std::mt19937 random(20240229);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string all;
    for (const std::string& seed : seeds) {
        all += seed;
        for (size_t n = 0; n < seed.size(); ++n)
            inputs.push_back(seed.substr(0, n));
        // Structural characters of the formats replacing each byte in turn.
        static const char kReplacements[] = {'=', '?', '\n', '\r', '%', '+', '-', '\0', '\x80', '\xff', ' '};
        for (size_t i = 0; i < seed.size(); ++i) {
            std::string changed = seed;
            changed[i] = kReplacements[i % sizeof(kReplacements)];
            inputs.push_back(changed);
        }
    }
    std::string oversized;
    while (!all.empty() && oversized.size() < 512 * 1024)
        oversized += all;
    inputs.push_back(oversized);
    for (int n = 0; n < 200; ++n) {
        std::string garbage(static_cast<size_t>(n * 7 % 600), '\0');
        for (char& ch : garbage)
            ch = static_cast<char>(byte(random));
        inputs.push_back(garbage);
    }
    return inputs;
}

CGuardedBuffer::CGuardedBuffer(const std::string& bytes) : m_size(bytes.size())
{
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t usable = (bytes.size() + page - 1) / page * page;
    m_block = ::VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (m_block == nullptr)
        throw std::bad_alloc();
    DWORD old = 0;
    ::VirtualProtect(static_cast<char*>(m_block) + usable, page, PAGE_NOACCESS, &old);
    char* data = static_cast<char*>(m_block) + usable - bytes.size();
    if (!bytes.empty())
        memcpy(data, bytes.data(), bytes.size());
    m_data = data;
}

CGuardedBuffer::~CGuardedBuffer()
{
    ::VirtualFree(m_block, 0, MEM_RELEASE);
}

} // namespace NetTest

// MAPI's memory: a buffer and the blocks chained to it with MAPIAllocateMore
// are freed together by one MAPIFreeBuffer, as callers of GetProps rely on.
#include "Provider.h"

#include <cstdlib>
#include <mutex>
#include <set>

namespace {

// The header keeps the data 16-byte aligned.
struct alignas(16) Block {
    Block* next;
};

std::mutex g_lock;
std::set<Block*> g_buffers;
long g_liveBlocks = 0;
long g_foreignFrees = 0;

Block* HeaderOf(void* data)
{
    return static_cast<Block*>(data) - 1;
}

void* NewBlock(ULONG size, Block* chainedTo)
{
    auto* block = static_cast<Block*>(calloc(1, sizeof(Block) + size));
    if (block == nullptr)
        return nullptr;
    if (chainedTo != nullptr) {
        block->next = chainedTo->next;
        chainedTo->next = block;
    } else {
        g_buffers.insert(block);
    }
    ++g_liveBlocks;
    return block + 1;
}

} // namespace

extern "C" SCODE WINAPI MAPIAllocateBuffer(ULONG size, LPVOID* buffer)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (buffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = NewBlock(size, nullptr);
    return *buffer != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

extern "C" SCODE WINAPI MAPIAllocateMore(ULONG size, LPVOID parent, LPVOID* buffer)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (buffer == nullptr || parent == nullptr || g_buffers.count(HeaderOf(parent)) == 0)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = NewBlock(size, HeaderOf(parent));
    return *buffer != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

extern "C" ULONG WINAPI MAPIFreeBuffer(LPVOID buffer)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (buffer == nullptr)
        return S_OK;
    // A foreign or twice-freed pointer is counted for the tests, never touched.
    if (g_buffers.erase(HeaderOf(buffer)) == 0) {
        ++g_foreignFrees;
        return S_OK;
    }
    for (Block* block = HeaderOf(buffer); block != nullptr; --g_liveBlocks) {
        Block* next = block->next;
        free(block);
        block = next;
    }
    return S_OK;
}

namespace QzlTestMapi {

long LiveAllocations()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_liveBlocks;
}

long ForeignFrees()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_foreignFrees;
}

HRESULT CopyPropValue(SPropValue& target, const SPropValue& source, void* parent)
{
    target = source;
    size_t size = 0;
    const void* data = nullptr;
    switch (PROP_TYPE(source.ulPropTag)) {
    case PT_STRING8:
        size = strlen(source.Value.lpszA) + 1;
        data = source.Value.lpszA;
        break;
    case PT_UNICODE:
        size = (wcslen(source.Value.lpszW) + 1) * sizeof(wchar_t);
        data = source.Value.lpszW;
        break;
    case PT_BINARY:
        size = source.Value.bin.cb;
        data = source.Value.bin.lpb;
        break;
    default:
        return S_OK;
    }
    void* copy = nullptr;
    HRESULT hr = MAPIAllocateMore(static_cast<ULONG>(size), parent, &copy);
    if (FAILED(hr))
        return hr;
    memcpy(copy, data, size);
    // All three kinds keep their pointer in the same place of the union.
    if (PROP_TYPE(source.ulPropTag) == PT_BINARY)
        target.Value.bin.lpb = static_cast<LPBYTE>(copy);
    else
        target.Value.lpszA = static_cast<LPSTR>(copy);
    return S_OK;
}

} // namespace QzlTestMapi

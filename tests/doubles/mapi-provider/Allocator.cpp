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

namespace {

// A copy of size bytes chained to parent (null stays null).
template <class T>
HRESULT CopyBlock(T*& target, const void* data, size_t size, void* parent)
{
    if (data == nullptr)
        return S_OK;
    void* copy = nullptr;
    HRESULT hr = MAPIAllocateMore(static_cast<ULONG>(size), parent, &copy);
    if (SUCCEEDED(hr))
        memcpy(copy, data, size);
    target = static_cast<T*>(copy);
    return hr;
}

} // namespace

HRESULT CopyPropValue(SPropValue& target, const SPropValue& source, void* parent)
{
    target = source;
    const _PV& from = source.Value;
    _PV& to = target.Value;
    switch (PROP_TYPE(source.ulPropTag)) {
    case PT_STRING8:
        return CopyBlock(to.lpszA, from.lpszA, from.lpszA != nullptr ? strlen(from.lpszA) + 1 : 0, parent);
    case PT_UNICODE:
        return CopyBlock(to.lpszW, from.lpszW, from.lpszW != nullptr ? (wcslen(from.lpszW) + 1) * sizeof(wchar_t) : 0,
                         parent);
    case PT_BINARY:
        return CopyBlock(to.bin.lpb, from.bin.lpb, from.bin.cb, parent);
    case PT_CLSID:
        return CopyBlock(to.lpguid, from.lpguid, sizeof(GUID), parent);
    case PT_MV_STRING8: {
        HRESULT hr = CopyBlock(to.MVszA.lppszA, from.MVszA.lppszA, from.MVszA.cValues * sizeof(LPSTR), parent);
        for (ULONG i = 0; SUCCEEDED(hr) && from.MVszA.lppszA != nullptr && i < from.MVszA.cValues; ++i) {
            const char* text = from.MVszA.lppszA[i];
            hr = CopyBlock(to.MVszA.lppszA[i], text, text != nullptr ? strlen(text) + 1 : 0, parent);
        }
        return hr;
    }
    default:
        return S_OK;
    }
}

} // namespace QzlTestMapi

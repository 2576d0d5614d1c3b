#include "skin/LayoutLua.h"

extern "C" {
#include <lua.h>
}

#include <cstdlib>

namespace zdl {

lua_State* layoutLuaState = nullptr;

namespace {

    struct CappedHeap {
        size_t used = 0;
        size_t limit = kLayoutLuaMemoryLimit;
        bool refused = false;
    };

    // lua_Alloc with a ceiling. Lua 5.1 relies on frees and shrinks never
    // failing, so only growth is refused.
    void* CappedAlloc(void* ud, void* block, size_t oldSize, size_t newSize)
    {
        auto* heap = static_cast<CappedHeap*>(ud);
        size_t old = block ? oldSize : 0;
        if (newSize == 0) {
            std::free(block);
            heap->used -= old;
            return nullptr;
        }
        if (newSize > old && newSize - old > heap->limit - heap->used) {
            heap->refused = true;
            return nullptr;
        }
        void* grown = std::realloc(block, newSize);
        if (!grown) {
            if (newSize <= old)
                return block; // a shrink that the C library could not do in place
            heap->refused = true;
            return nullptr;
        }
        heap->used = heap->used - old + newSize;
        return grown;
    }

    CappedHeap* HeapOf(lua_State* L)
    {
        void* ud = nullptr;
        if (!L || lua_getallocf(L, &ud) != CappedAlloc)
            return nullptr;
        return static_cast<CappedHeap*>(ud);
    }

} // namespace

lua_State* NewLayoutLuaState()
{
    auto* heap = new CappedHeap;
    lua_State* L = lua_newstate(CappedAlloc, heap);
    if (!L)
        delete heap;
    return L;
}

void CloseLayoutLuaState(lua_State* L)
{
    if (!L)
        return;
    CappedHeap* heap = HeapOf(L);
    lua_close(L); // frees through the heap record, so that goes last
    delete heap;
}

size_t LayoutLuaMemoryInUse(lua_State* L)
{
    CappedHeap* heap = HeapOf(L);
    return heap ? heap->used : 0;
}

bool TakeLayoutLuaMemoryRefused(lua_State* L)
{
    CappedHeap* heap = HeapOf(L);
    if (!heap)
        return false;
    bool refused = heap->refused;
    heap->refused = false;
    return refused;
}

} // namespace zdl

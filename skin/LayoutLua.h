// The one Lua state that the layout loader compiles and runs layout scripts
// in. Created at start-up by the application (NewLayoutLuaState) and kept
// for the process; null before that. User-interface thread only.
//
// Layout scripts are input: any file called like a script in the current
// folder takes precedence over the archive. The state is therefore made with
// an allocator that refuses to grow past kLayoutLuaMemoryLimit (the script
// then fails with a memory error instead of taking the machine's memory),
// and no Lua library is opened in it: a script is a table constructor.
#pragma once

#include <cstddef>
#include <cstdint>

struct lua_State;

namespace zdl {

extern lua_State* layoutLuaState; // not owned here; the application creates and closes it

// Most bytes the layout state may hold at once.
constexpr size_t kLayoutLuaMemoryLimit = size_t(16) * 1024 * 1024;

// A new state with the capped allocator and no libraries; null when even
// that cannot be allocated. Close it with CloseLayoutLuaState.
lua_State* NewLayoutLuaState();
// Closes a state (made by NewLayoutLuaState or otherwise); null is ignored.
void CloseLayoutLuaState(lua_State* L);

// Bytes the state holds now and whether its allocator has refused a request
// since the flag was last cleared; 0 / false for a state made otherwise.
size_t LayoutLuaMemoryInUse(lua_State* L);
bool TakeLayoutLuaMemoryRefused(lua_State* L);

} // namespace zdl

// The one Lua state that the layout loader compiles and runs layout scripts
// in. Created at start-up by the application and kept for the process; null
// before that. User-interface thread only.
#pragma once

struct lua_State;

namespace zdl {

extern lua_State* layoutLuaState;  // not owned here; the application creates and closes it

}  // namespace zdl

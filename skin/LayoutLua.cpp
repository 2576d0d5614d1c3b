#include "skin/LayoutLua.h"

namespace zdl {

lua_State* layoutLuaState = nullptr;

}  // namespace zdl

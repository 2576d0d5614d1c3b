#include "skin/LayoutScript.h"

#include "skin/LayoutLua.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <cmath>
#include <cstring>
#include <new>

namespace zdl {

namespace {

    // VM instructions between two looks at the step budget.
    constexpr int kHookInterval = 1000;
    // Longest Lua error text kept for the message box.
    constexpr size_t kMaxErrorDetail = 200;

    // Byte strings of a child while it is read. Plain arrays: the reading runs
    // inside a protected Lua call whose errors unwind by longjmp, which must
    // not skip a destructor.
    struct RawChild {
        char typeName[kMaxLayoutTypeNameBytes + 1];
        char name[kMaxLayoutNameBytes + 1];
        char fileName[kMaxLayoutFileNameBytes + 1];
        bool hasFile;
        bool present[6]; // arg elements 1..5 given (index 0 unused)
        double number[6];
    };

    struct ReadContext {
        const char* chunkName;
        const char* bytes;
        size_t size;
        ParsedLayout* out;
        LayoutStatus status;
        int steps;
        bool stepLimitHit;
    };

    ReadContext* activeRead = nullptr; // for the count hook; one UI thread

    void CountHook(lua_State* L, lua_Debug*)
    {
        if (!activeRead)
            return;
        activeRead->steps += kHookInterval;
        if (activeRead->steps > kLayoutInstructionLimit) {
            activeRead->stepLimitHit = true;
            luaL_error(L, "instruction limit reached");
        }
    }

    int32_t Clamp(double v, int32_t lo, int32_t hi)
    {
        if (std::isnan(v))
            return lo > 0 ? lo : (hi < 0 ? hi : 0);
        if (v <= lo)
            return lo;
        if (v >= hi)
            return hi;
        return static_cast<int32_t>(v); // truncates toward zero, like the system's conversion
    }

    // Copies the string at |index| (a string value, never a key under
    // traversal) into |buffer|; false when it is not a string or too long.
    bool CopyString(lua_State* L, int index, char* buffer, size_t maxBytes, bool acceptNumber)
    {
        int type = lua_type(L, index);
        if (type != LUA_TSTRING && !(acceptNumber && type == LUA_TNUMBER))
            return false;
        size_t length = 0;
        const char* s = lua_tolstring(L, index, &length); // converts a number in its stack slot only
        if (!s || length > maxBytes || std::memchr(s, 0, length))
            return false;
        std::memcpy(buffer, s, length);
        buffer[length] = '\0';
        return true;
    }

    // Pushes table[field] by raw access.
    void RawField(lua_State* L, int table, const char* field)
    {
        lua_pushstring(L, field);
        lua_rawget(L, table);
    }

    void StoreChild(ReadContext* ctx, int32_t key, const RawChild& raw)
    {
        try {
            LayoutChild child;
            child.typeName = raw.typeName;
            child.name = raw.name;
            child.fileName = raw.hasFile ? raw.fileName : "";
            auto number = [&raw](int i, double fallback) { return raw.present[i] ? raw.number[i] : fallback; };
            child.x = Clamp(number(1, 0), -kMaxLayoutCoordinate, kMaxLayoutCoordinate);
            child.y = Clamp(number(2, 0), -kMaxLayoutCoordinate, kMaxLayoutCoordinate);
            if (!LayoutTypeNeedsFile(child.typeName)) {
                child.w = Clamp(number(3, 0), 0, kMaxLayoutCoordinate);
                child.h = Clamp(number(4, 0), 0, kMaxLayoutCoordinate);
            } else if (child.typeName == "UProgress") {
                child.w = Clamp(number(4, 0), 0, kMaxLayoutCoordinate);
            } else if (child.typeName == "UImageButton") {
                child.frame = Clamp(number(4, 1), 0, kMaxLayoutCoordinate);
            } else if (child.typeName == "UAnimate") {
                child.frame = Clamp(number(4, 1), 1, kMaxLayoutCoordinate);
                child.speed = Clamp(number(5, 3), 1, kMaxLayoutCoordinate);
            }
            ctx->out->children[key] = std::move(child);
        } catch (const std::bad_alloc&) {
            ctx->status = LayoutStatus::kOutOfMemory;
        }
    }

    // Reads the child table at the top of the stack into |raw|.
    LayoutStatus ReadChild(lua_State* L, RawChild* raw)
    {
        int child = lua_gettop(L);
        std::memset(raw, 0, sizeof *raw);
        RawField(L, child, "type_name");
        bool ok = lua_isnil(L, -1) || CopyString(L, -1, raw->typeName, kMaxLayoutTypeNameBytes, false);
        lua_pop(L, 1);
        if (!ok)
            return LayoutStatus::kBadTypeName;
        RawField(L, child, "name");
        ok = lua_isnil(L, -1) || CopyString(L, -1, raw->name, kMaxLayoutNameBytes, true);
        lua_pop(L, 1);
        if (!ok)
            return LayoutStatus::kBadName;
        RawField(L, child, "arg");
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1);
            return LayoutStatus::kChildNoArg;
        }
        int arg = lua_gettop(L);
        for (int i = 1; i <= 5; ++i) {
            lua_rawgeti(L, arg, i);
            raw->present[i] = !lua_isnil(L, -1);
            raw->number[i] = lua_tonumber(L, -1); // 0 for anything that is no number
            lua_pop(L, 1);
        }
        bool needsFile = false;
        for (const char* type : { "UImageButton", "UCheckButton", "UBubble", "UProgress", "UAnimate" })
            needsFile = needsFile || std::strcmp(raw->typeName, type) == 0;
        if (needsFile) {
            lua_rawgeti(L, arg, 3);
            raw->hasFile = CopyString(L, -1, raw->fileName, kMaxLayoutFileNameBytes, false);
            lua_pop(L, 1);
            if (!raw->hasFile) {
                lua_pop(L, 1);
                return LayoutStatus::kBadFileName;
            }
        }
        lua_pop(L, 1); // arg
        return LayoutStatus::kOk;
    }

    LayoutStatus ReadRoot(lua_State* L, ReadContext* ctx)
    {
        int root = lua_gettop(L);
        RawField(L, root, "type_name");
        size_t length = 0;
        const char* type = lua_type(L, -1) == LUA_TSTRING ? lua_tolstring(L, -1, &length) : nullptr;
        bool known = type
            && ((length == 6 && std::memcmp(type, "UImage", 6) == 0)
                || (length == 11 && std::memcmp(type, "UImagePanel", 11) == 0));
        lua_pop(L, 1);
        if (!known)
            return LayoutStatus::kBadRootType;

        RawField(L, root, "arg");
        if (!lua_istable(L, -1))
            return LayoutStatus::kNoArg;
        lua_rawgeti(L, -1, 3);
        char background[kMaxLayoutFileNameBytes + 1];
        // A name that is no string or too long simply loads no picture.
        bool hasBackground = CopyString(L, -1, background, kMaxLayoutFileNameBytes, true);
        lua_pop(L, 2);
        try {
            ctx->out->rootRead = true;
            ctx->out->hasBackground = hasBackground;
            ctx->out->background = hasBackground ? background : "";
        } catch (const std::bad_alloc&) {
            return LayoutStatus::kOutOfMemory;
        }

        RawField(L, root, "son_list");
        if (!lua_istable(L, -1))
            return LayoutStatus::kNoSonList;
        int sons = lua_gettop(L);
        size_t count = 0;
        RawChild raw;
        lua_pushnil(L);
        while (lua_next(L, sons) != 0) {
            // Key at -2 stays untouched for lua_next: only converted into a copy.
            if (++count > kMaxLayoutChildren)
                return LayoutStatus::kTooManyChildren;
            if (!lua_istable(L, -1))
                return LayoutStatus::kChildNotTable;
            LayoutStatus status = ReadChild(L, &raw);
            if (status != LayoutStatus::kOk)
                return status;
            lua_pop(L, 1); // the child; the key stays for lua_next
            lua_pushvalue(L, -1);
            int32_t key = Clamp(lua_tonumber(L, -1), INT32_MIN, INT32_MAX);
            lua_pop(L, 1);
            StoreChild(ctx, key, raw);
            if (ctx->status != LayoutStatus::kOk)
                return ctx->status;
        }
        return LayoutStatus::kOk;
    }

    const char* ReadChunk(lua_State*, void* data, size_t* size)
    {
        auto* ctx = static_cast<ReadContext*>(data);
        *size = ctx->size;
        ctx->size = 0;
        return *size ? ctx->bytes : nullptr;
    }

    void KeepErrorDetail(lua_State* L, ReadContext* ctx)
    {
        if (lua_type(L, -1) != LUA_TSTRING)
            return;
        size_t length = 0;
        const char* s = lua_tolstring(L, -1, &length);
        char detail[kMaxErrorDetail + 1];
        // Cut on a character boundary: GBK lead bytes are 0x81..0xFE.
        size_t n = 0;
        while (n < length && s[n]) {
            size_t step = (static_cast<unsigned char>(s[n]) >= 0x81 && n + 1 < length) ? 2 : 1;
            if (n + step > kMaxErrorDetail)
                break;
            n += step;
        }
        std::memcpy(detail, s, n);
        detail[n] = '\0';
        try {
            ctx->out->errorDetail = detail;
        } catch (const std::bad_alloc&) {
        }
    }

    // The protected body: compile, run, read. Returns the result in ctx.
    int ReadProtected(lua_State* L)
    {
        auto* ctx = static_cast<ReadContext*>(lua_touserdata(L, 1));
        lua_settop(L, 0);
        ReadContext chunk = *ctx; // the reader consumes its copy's size
        int status = lua_load(L, ReadChunk, &chunk, ctx->chunkName);
        if (status != 0) {
            ctx->status = status == LUA_ERRMEM ? LayoutStatus::kOutOfMemory : LayoutStatus::kCompileError;
            return 0;
        }
        if (!lua_isfunction(L, -1)) {
            ctx->status = LayoutStatus::kCompileError;
            return 0;
        }
        lua_newtable(L); // the script's own, empty, globals
        lua_setfenv(L, -2);
        activeRead = ctx;
        ctx->steps = 0;
        lua_sethook(L, CountHook, LUA_MASKCOUNT, kHookInterval);
        status = lua_pcall(L, 0, 1, 0);
        lua_sethook(L, nullptr, 0, 0);
        activeRead = nullptr;
        if (status != 0) {
            if (ctx->stepLimitHit)
                ctx->status = LayoutStatus::kTooManySteps;
            else if (status == LUA_ERRMEM || TakeLayoutLuaMemoryRefused(L))
                ctx->status = LayoutStatus::kOutOfMemory;
            else {
                ctx->status = LayoutStatus::kRunError;
                KeepErrorDetail(L, ctx);
            }
            return 0;
        }
        if (!lua_istable(L, -1)) {
            ctx->status = LayoutStatus::kNotTable;
            return 0;
        }
        ctx->status = ReadRoot(L, ctx);
        return 0;
    }

} // namespace

bool LayoutTypeNeedsFile(const std::string& typeName)
{
    return typeName == "UImageButton" || typeName == "UCheckButton" || typeName == "UBubble" || typeName == "UProgress"
        || typeName == "UAnimate";
}

LayoutStatus ReadLayoutScript(lua_State* L, const char* chunkName, const void* bytes, size_t size, ParsedLayout* out)
{
    if (!L)
        return LayoutStatus::kOutOfMemory;
    if (size > kMaxLayoutScriptBytes)
        return LayoutStatus::kTooLarge;
    // A compiled chunk would be trusted blindly by the undumper.
    if (size > 0 && static_cast<const unsigned char*>(bytes)[0] == 0x1B)
        return LayoutStatus::kPrecompiled;
    std::string name = std::string("=") + (chunkName ? chunkName : "?");
    TakeLayoutLuaMemoryRefused(L);
    ReadContext ctx { name.c_str(), static_cast<const char*>(bytes), size, out, LayoutStatus::kOk, 0, false };
    int top = lua_gettop(L);
    int status = lua_cpcall(L, ReadProtected, &ctx);
    if (status != 0 && ctx.status == LayoutStatus::kOk) {
        // An error raised by the reading itself: a memory error, or a
        // step-limit error from a hook that fired late.
        ctx.status = (status == LUA_ERRMEM || TakeLayoutLuaMemoryRefused(L)) ? LayoutStatus::kOutOfMemory
                                                                             : LayoutStatus::kRunError;
    }
    lua_sethook(L, nullptr, 0, 0);
    activeRead = nullptr;
    lua_settop(L, top);
    lua_gc(L, LUA_GCCOLLECT, 0); // the script's tables are garbage now
    TakeLayoutLuaMemoryRefused(L);
    return ctx.status;
}

} // namespace zdl

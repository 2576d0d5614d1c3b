// Reading a layout script: compiles and runs it in the layout Lua state and
// turns the table it returns into plain records (the panel's background and
// one record per child of "son_list", keyed by the entry's integer key).
// Creating controls from the records is the loader's part (LayoutLoader.h).
//
// Everything that touches Lua runs inside one protected call, so a script
// that fails at any point (syntax, run time, memory, a table of the wrong
// shape) yields an error code and never ends the process; the stack is as
// it was afterwards. Tables are read with raw access only, so no script
// code runs after the chunk has returned. The chunk runs with an empty
// table of globals of its own and at most kLayoutInstructionLimit VM
// instructions. User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct lua_State;

namespace zdl {

// Limits on script input.
constexpr size_t kMaxLayoutScriptBytes = size_t(1) << 20;
constexpr size_t kMaxLayoutTypeNameBytes = 31;
constexpr size_t kMaxLayoutNameBytes = 31;
constexpr size_t kMaxLayoutFileNameBytes = 63;
constexpr size_t kMaxLayoutChildren = 1024;
constexpr int kLayoutInstructionLimit = 10000000;
// Coordinates are clamped to +-kMaxLayoutCoordinate and sizes to
// 0..kMaxLayoutCoordinate; frame counts and speeds to their own ranges.
constexpr int kMaxLayoutCoordinate = 32767;

// How reading a script ended.
enum class LayoutStatus {
    kOk,
    kCannotOpen, // no such file
    kTooLarge, // longer than kMaxLayoutScriptBytes
    kPrecompiled, // a compiled chunk (first byte 0x1B)
    kCompileError, // does not compile
    kRunError, // raised an error while running
    kTooManySteps, // ran past kLayoutInstructionLimit
    kOutOfMemory, // the state's memory cap, or no memory at all
    kNotTable, // did not return a table
    kBadRootType, // root type_name is neither "UImage" nor "UImagePanel"
    kNoArg, // root has no "arg" table
    kNoSonList, // root has no "son_list" table
    kChildNotTable, // a "son_list" value is not a table
    kChildNoArg, // a child has no "arg" table
    kTooManyChildren, // more than kMaxLayoutChildren entries
    kBadTypeName, // a child's type_name is not a string of at most 31 bytes
    kBadName, // a child's name is not a string of at most 31 bytes
    kBadFileName, // a child that needs a picture has no file name of at most 63 bytes
};

// One child as the script describes it; numbers already clamped.
struct LayoutChild {
    std::string typeName;
    std::string name;
    std::string fileName;
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0; // also a progress bar's length
    int32_t h = 0;
    int32_t frame = 1; // button: >= 0; animation: >= 1
    int32_t speed = 3; // animation: >= 1
};

struct ParsedLayout {
    bool rootRead = false; // "arg" was read: the background applies
    bool hasBackground = false; // element 3 of "arg" was a string or number
    std::string background;
    std::map<int32_t, LayoutChild> children; // by key, ascending
    std::string errorDetail; // Lua's message for kRunError
};

// True for the type names whose third argument is a picture file name.
bool LayoutTypeNeedsFile(const std::string& typeName);

// Reads |size| bytes of script named |chunkName| in |L|. |out| is filled as
// far as reading got (the background is set whenever rootRead is).
LayoutStatus ReadLayoutScript(lua_State* L, const char* chunkName, const void* bytes, size_t size, ParsedLayout* out);

} // namespace zdl

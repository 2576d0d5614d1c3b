#include "tools/contactsheet/SkinFiles.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "gfx/DibImage.h"
#include "gfx/ImageLoader.h"

namespace sheet {

bool SkinFiles::Open(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        *error = "cannot read " + path;
        return false;
    }
    if (!archive_.Assign(bytes.data(), bytes.size())) {
        *error = path + " is not a QFA archive";
        return false;
    }
    return true;
}

std::string SkinFiles::Bytes(const std::string& name) const
{
    zdl::QfaArchive::Entry entry;
    if (!archive_.Find(name.c_str(), &entry))
        return {};
    return std::string(reinterpret_cast<const char*>(entry.data), entry.size);
}

Surface SkinFiles::Picture(const std::string& name) const
{
    zdl::QfaArchive::Entry entry;
    if (!archive_.Find(name.c_str(), &entry))
        return {};
    auto stream = zdl::ResourceStream::FromMemory(entry.data, entry.size);
    zdl::DibImage image;
    bool sprite = name.size() > 4 && name.compare(name.size() - 4, 4, ".tcp") == 0;
    bool ok = sprite ? zdl::DecodeSpriteStrip(stream.get(), &image) : zdl::DecodePng(stream.get(), &image);
    if (!ok || image.Empty())
        return {};
    Surface out(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.Width(), image.Height()));
    uint8_t* data = cairo_image_surface_get_data(out.s);
    int stride = cairo_image_surface_get_stride(out.s);
    for (int y = 0; y < image.Height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < image.Width(); ++x) {
            const uint8_t* p = image.Pixel(x, y);
            uint32_t a = image.bytesPerPixel == 4 ? p[3] : 255;
            uint32_t r = (p[2] * a + 127) / 255, g = (p[1] * a + 127) / 255, b = (p[0] * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(out.s);
    return out;
}

namespace {

    int IntField(lua_State* L, int table, int index)
    {
        lua_rawgeti(L, table, index);
        int v = lua_isnumber(L, -1) ? static_cast<int>(lua_tonumber(L, -1)) : 0;
        lua_pop(L, 1);
        return v;
    }

    std::string StringField(lua_State* L, int table, const char* key)
    {
        lua_getfield(L, table, key);
        std::string v = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        return v;
    }

    std::string StringAt(lua_State* L, int table, int index)
    {
        lua_rawgeti(L, table, index);
        std::string v = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        return v;
    }

} // namespace

bool SkinFiles::Layout(
    const std::string& name, std::string* background, std::vector<LayoutChild>* children, std::string* error) const
{
    std::string text = Bytes(name);
    if (text.empty()) {
        *error = name + ": no such entry";
        return false;
    }
    lua_State* L = luaL_newstate();
    bool ok = false;
    if (luaL_loadbuffer(L, text.data(), text.size(), name.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
        *error = name + ": " + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "error");
    } else if (!lua_istable(L, -1)) {
        *error = name + ": does not return a table";
    } else {
        int root = lua_gettop(L);
        lua_getfield(L, root, "arg");
        *background = lua_istable(L, -1) ? StringAt(L, lua_gettop(L), 3) : "";
        lua_pop(L, 1);
        lua_getfield(L, root, "son_list");
        int list = lua_gettop(L);
        ok = lua_istable(L, list);
        if (!ok)
            *error = name + ": no son_list";
        lua_pushnil(L);
        while (ok && lua_next(L, list) != 0) {
            int child = lua_gettop(L);
            LayoutChild c;
            c.key = static_cast<int>(lua_tonumber(L, -2));
            c.type = StringField(L, child, "type_name");
            c.name = StringField(L, child, "name");
            lua_getfield(L, child, "arg");
            int arg = lua_gettop(L);
            if (lua_istable(L, arg)) {
                c.x = IntField(L, arg, 1);
                c.y = IntField(L, arg, 2);
                if (c.type == "URichText" || c.type == "UEdit" || c.type == "UContainer") {
                    c.w = IntField(L, arg, 3);
                    c.h = IntField(L, arg, 4);
                } else {
                    c.fn = StringAt(L, arg, 3);
                    if (c.type == "UImageButton" || c.type == "UAnimate") {
                        lua_rawgeti(L, arg, 4);
                        c.frames = lua_isnil(L, -1) ? 1 : static_cast<int>(lua_tonumber(L, -1));
                        lua_pop(L, 1);
                    }
                    if (c.type == "UCheckButton")
                        c.frames = 2;
                }
            }
            lua_pop(L, 2); // arg and the value
            children->push_back(c);
        }
        std::sort(children->begin(), children->end(),
            [](const LayoutChild& a, const LayoutChild& b) { return a.key < b.key; });
    }
    lua_close(L);
    return ok;
}

} // namespace sheet

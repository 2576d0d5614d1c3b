// The third-party libraries and the resource table behave the same on Linux
// and, cross-built, under Wine: images decode, Lua tables read back, libcurl
// fetches a byte range over loopback, SHA-256 matches its test vectors.
#include "LoopbackHttpServer.h"
#include "platform/Resources.h"
#include "platform/Sha256.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

std::vector<unsigned char> Gradient(int w, int h, int channels)
{
    std::vector<unsigned char> px(static_cast<size_t>(w * h * channels));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                px[static_cast<size_t>((y * w + x) * channels + c)]
                    = static_cast<unsigned char>(x * 16 + y * 4 + c * 40);
    return px;
}

TEST(Libraries, PngRoundTripKeepsEveryPixel)
{
    const int w = 13, h = 7;
    std::vector<unsigned char> rgba = Gradient(w, h, 4);

    png_image out {};
    out.version = PNG_IMAGE_VERSION;
    out.width = w;
    out.height = h;
    out.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&out, nullptr, &size, 0, rgba.data(), 0, nullptr));
    std::vector<unsigned char> file(size);
    ASSERT_TRUE(png_image_write_to_memory(&out, file.data(), &size, 0, rgba.data(), 0, nullptr));
    ASSERT_EQ(0, std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8));

    png_image in {};
    in.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&in, file.data(), file.size()));
    EXPECT_EQ(13u, in.width);
    EXPECT_EQ(7u, in.height);
    in.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> back(PNG_IMAGE_SIZE(in));
    ASSERT_TRUE(png_image_finish_read(&in, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(rgba, back);
}

TEST(Libraries, JpegRoundTripStaysClose)
{
    const int w = 16, h = 16;
    std::vector<unsigned char> rgb(static_cast<size_t>(w * h * 3), 0);
    for (int i = 0; i < w * h; ++i) {
        rgb[static_cast<size_t>(i * 3)] = 200; // a flat colour survives JPEG almost exactly
        rgb[static_cast<size_t>(i * 3 + 1)] = 100;
        rgb[static_cast<size_t>(i * 3 + 2)] = 50;
    }

    jpeg_compress_struct c {};
    jpeg_error_mgr cerr {};
    c.err = jpeg_std_error(&cerr);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&c, &mem, &memSize);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &rgb[c.next_scanline * w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    ASSERT_GT(memSize, 100u);

    jpeg_decompress_struct d {};
    jpeg_error_mgr derr {};
    d.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, mem, memSize);
    ASSERT_EQ(JPEG_HEADER_OK, jpeg_read_header(&d, TRUE));
    jpeg_start_decompress(&d);
    ASSERT_EQ(16u, d.output_width);
    ASSERT_EQ(3, d.output_components);
    std::vector<unsigned char> back(static_cast<size_t>(w * h * 3));
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &back[d.output_scanline * w * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::free(mem);
    for (size_t i = 0; i < back.size(); ++i)
        ASSERT_NEAR(rgb[i], back[i], 3) << "byte " << i;
}

TEST(Libraries, LuaChunkReturnsTableReadThroughStack)
{
    lua_State* L = luaL_newstate();
    ASSERT_NE(nullptr, L);
    const char* chunk = "return { name = 'ui_panel1', children = { { x = 680, y = 270 }, { x = -149 } } }";
    ASSERT_EQ(0, luaL_loadbuffer(L, chunk, std::strlen(chunk), "chunk"));
    ASSERT_EQ(0, lua_pcall(L, 0, 1, 0));
    ASSERT_TRUE(lua_istable(L, -1));
    lua_getfield(L, -1, "name");
    EXPECT_STREQ("ui_panel1", lua_tostring(L, -1));
    lua_pop(L, 1);
    lua_getfield(L, -1, "children");
    EXPECT_EQ(2u, lua_objlen(L, -1));
    lua_rawgeti(L, -1, 2);
    lua_getfield(L, -1, "x");
    EXPECT_EQ(-149, lua_tointeger(L, -1));
    lua_close(L);

    // A syntax error is reported, not thrown.
    L = luaL_newstate();
    EXPECT_NE(0, luaL_loadbuffer(L, "return {", 8, "bad"));
    lua_close(L);
}

size_t Append(char* data, size_t size, size_t n, void* user)
{
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

TEST(Libraries, CurlFetchesRangeOverLoopback)
{
    std::string body;
    for (int i = 0; i < 1000; ++i)
        body += static_cast<char>('a' + i % 26);
    LoopbackHttpServer server(body);
    ASSERT_TRUE(server.Start());

    ASSERT_EQ(CURLE_OK, curl_global_init(CURL_GLOBAL_DEFAULT));
    CURL* curl = curl_easy_init();
    ASSERT_NE(nullptr, curl);
    std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/client.bin";
    std::string got;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_RANGE, "100-199");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &got);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    ASSERT_EQ(CURLE_OK, curl_easy_perform(curl));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    EXPECT_EQ(206, status);
    EXPECT_EQ(body.substr(100, 100), got);
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    EXPECT_EQ(1, server.requests());
}

TEST(Libraries, Sha256MatchesTestVectors)
{
    EXPECT_EQ(
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", zdl::ToHex(zdl::Sha256::Of("abc", 3)));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", zdl::ToHex(zdl::Sha256::Of("", 0)));

    // Incremental updates and reuse after Final give the same digests.
    zdl::Sha256 h;
    ASSERT_TRUE(h.ok());
    const char* text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (size_t i = 0; i < std::strlen(text); i += 5)
        h.Update(text + i, std::min<size_t>(5, std::strlen(text) - i));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", zdl::ToHex(h.Final()));
    h.Update("abc", 3);
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", zdl::ToHex(h.Final()));

    zdl::Sha256Digest d;
    EXPECT_TRUE(zdl::FromHex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", &d));
    EXPECT_EQ(zdl::Sha256::Of("abc", 3), d);
    EXPECT_FALSE(zdl::FromHex("ba7816bf", &d));
    EXPECT_FALSE(zdl::FromHex(std::string(63, 'a') + "g", &d));
}

TEST(Resources, StringTableIsGbk)
{
    EXPECT_EQ("r", zdl::LoadResourceString(zdl::kResCoreSuffix));
    EXPECT_EQ("Zephyra\xc3\xe2\xb7\xd1\xb0\xe6", zdl::LoadResourceString(zdl::kResProductTitle));
    std::string url = zdl::LoadResourceString(zdl::kResSourceUrl);
    EXPECT_EQ(0u, url.rfind("http", 0)) << url;
    EXPECT_EQ("", zdl::LoadResourceString(9999));
}

TEST(Resources, BinaryResourcesAreFoundByTypeAndNumber)
{
    zdl::ResourceBlob archive, core;
    ASSERT_TRUE(zdl::FindResourceBlob(zdl::kResTypeRcData, zdl::kResArchive, &archive));
    ASSERT_GE(archive.size, 8u);
    EXPECT_EQ(0, std::memcmp(archive.data, "QFA", 4));
    ASSERT_TRUE(zdl::FindResourceBlob(zdl::kResTypeProgram, zdl::kResCoreProgram, &core));
    EXPECT_GT(core.size, 0u);
    zdl::ResourceBlob none;
    EXPECT_FALSE(zdl::FindResourceBlob(zdl::kResTypeProgram, 136, &none));
    EXPECT_FALSE(zdl::FindResourceBlob(zdl::kResTypeRcData, zdl::kResCoreProgram, &none));
}

} // namespace

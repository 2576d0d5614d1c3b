// qfapack: packs files into a QFA resource archive, the format the downloader
// reads its skin from.
//
//   qfapack OUT.qfa [--as NAME] FILE ...
//   qfapack --list ARCHIVE
//
// Each FILE is stored under its bare name (the part after the last '/' or
// '\'), or under NAME when "--as NAME" precedes it. Names are raw bytes (GBK
// names pass through untouched), at most 63 bytes, unique under the
// archive's case-insensitive order. Entries are sorted in that order and the
// data area holds the files in table order, each followed by one 0xFF byte;
// the first offset is 0 and each next is previous offset + size + 1. Any
// file may itself be an archive ("image.dat"); it is stored as plain bytes.
// The output is written to OUT.qfa.tmp, read back and checked (every name
// found, every byte equal), then renamed over OUT.qfa.
// "--list" prints "offset size name" per entry. Errors go to stderr with a
// non-zero exit status.
#include "gfx/ResourceArchive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using zdl::CompareQfaNames;
using zdl::QfaArchive;

namespace {

// Archives beyond this are refused: offsets and sizes are 32-bit.
constexpr uint64_t kMaxArchiveBytes = 0xFFFFFFFFull;

struct Input {
    std::string name;
    std::string path;
    std::vector<uint8_t> bytes;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "qfapack: %s\n", message.c_str());
    return 1;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out->clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        out->insert(out->end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void PutU32(std::vector<uint8_t>* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::string BareName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int List(const char* path)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes))
        return Fail(std::string("cannot read ") + path);
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "QFA", 4) != 0)
        return Fail(std::string(path) + " is not a QFA archive");
    QfaArchive archive;
    if (!archive.Assign(bytes.data(), bytes.size()))
        return Fail(std::string(path) + ": entry table does not fit in the file");
    int bad = 0;
    for (uint32_t i = 0; i < archive.Count(); ++i) {
        QfaArchive::Entry e;
        if (!archive.EntryAt(i, &e)) {
            std::fprintf(stderr, "qfapack: entry %u lies outside the archive\n", i);
            ++bad;
            continue;
        }
        const uint8_t* raw = bytes.data() + zdl::kQfaHeaderSize + zdl::kQfaEntrySize * i + zdl::kQfaNameSize;
        uint32_t offset = uint32_t(raw[0]) | uint32_t(raw[1]) << 8 | uint32_t(raw[2]) << 16 | uint32_t(raw[3]) << 24;
        std::printf("%u %u %s\n", offset, e.size, e.name.c_str());
    }
    return bad ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return List(argv[2]);
    if (argc < 3)
        return Fail("usage: qfapack OUT.qfa [--as NAME] FILE ...  |  qfapack --list ARCHIVE");

    std::string outPath = argv[1];
    std::vector<Input> inputs;
    for (int i = 2; i < argc; ++i) {
        Input in;
        if (std::strcmp(argv[i], "--as") == 0) {
            if (i + 2 >= argc)
                return Fail("--as needs a NAME and a FILE");
            in.name = argv[i + 1];
            i += 2;
        }
        in.path = argv[i];
        if (in.name.empty())
            in.name = BareName(in.path);
        if (in.name.empty())
            return Fail("empty entry name for \"" + in.path + "\"");
        if (in.name.size() > zdl::kQfaNameSize - 1)
            return Fail("entry name \"" + in.name + "\" is longer than 63 bytes");
        if (in.name.find_first_of("/\\") != std::string::npos)
            return Fail("entry name \"" + in.name + "\" has a directory part");
        if (!ReadWholeFile(in.path, &in.bytes))
            return Fail("cannot read \"" + in.path + "\"");
        inputs.push_back(std::move(in));
    }

    std::stable_sort(inputs.begin(), inputs.end(),
        [](const Input& a, const Input& b) { return CompareQfaNames(a.name.c_str(), b.name.c_str()) < 0; });
    for (size_t i = 1; i < inputs.size(); ++i)
        if (CompareQfaNames(inputs[i - 1].name.c_str(), inputs[i].name.c_str()) == 0)
            return Fail("duplicate entry name \"" + inputs[i].name + "\" (names are compared without case)");

    uint64_t total = zdl::kQfaHeaderSize + zdl::kQfaEntrySize * inputs.size();
    for (const Input& in : inputs)
        total += in.bytes.size() + 1;
    if (total > kMaxArchiveBytes)
        return Fail("archive would exceed 4 GB");

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    out.insert(out.end(), { 'Q', 'F', 'A', 0 });
    PutU32(&out, static_cast<uint32_t>(inputs.size()));
    uint32_t offset = 0;
    for (const Input& in : inputs) {
        uint8_t name[zdl::kQfaNameSize] = {};
        std::memcpy(name, in.name.data(), in.name.size());
        out.insert(out.end(), name, name + sizeof name);
        PutU32(&out, offset);
        PutU32(&out, static_cast<uint32_t>(in.bytes.size()));
        offset += static_cast<uint32_t>(in.bytes.size()) + 1;
    }
    for (const Input& in : inputs) {
        out.insert(out.end(), in.bytes.begin(), in.bytes.end());
        out.push_back(0xFF);
    }

    // Read the result back the way the downloader does before keeping it.
    QfaArchive check;
    if (!check.Assign(out.data(), out.size()))
        return Fail("internal error: packed archive does not read back");
    for (const Input& in : inputs) {
        QfaArchive::Entry e;
        if (!check.Find(in.name.c_str(), &e) || e.size != in.bytes.size()
            || (e.size && std::memcmp(e.data, in.bytes.data(), e.size) != 0))
            return Fail("internal error: entry \"" + in.name + "\" does not read back");
    }

    std::string tmp = outPath + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return Fail("cannot create \"" + tmp + "\"");
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), outPath.c_str()) != 0) {
        std::remove(tmp.c_str());
        return Fail("cannot write \"" + outPath + "\"");
    }
    return 0;
}

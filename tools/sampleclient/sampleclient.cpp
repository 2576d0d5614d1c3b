// zdl-sampleclient: writes a deterministic stand-in for the game client
// for tests and benchmarks: "zpc.exe", a few large archives, many small
// files in nested folders, an empty file and a file with a Chinese name.
//
//   zdl-sampleclient <folder> <size in MiB> [seed] [--utf8-names]
//
// The Chinese name is written in GBK bytes (a tree for zdl-mkdesc
// --raw-names), or with --utf8-names in UTF-8, as a publisher's Linux
// machine names it. The same size and seed always give the same bytes.
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zdl;

namespace {

struct Rng {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

uint64_t g_written = 0;
int g_files = 0;

bool WriteFile(const std::string& root, const std::string& rel, uint64_t size, Rng& rng)
{
    g_written += size;
    ++g_files;
    std::string path = root + "/" + rel;
    FsStatus st;
    size_t slash = path.rfind('/');
    if (!CreateDirectories(path.substr(0, slash), &st))
        return false;
    File f;
    if (!f.Open(path, File::Mode::ReadWrite, &st) || !f.Allocate(0, &st))
        return false;
    std::vector<uint64_t> block(1 << 17); // 1 MiB
    for (uint64_t off = 0; off < size;) {
        for (auto& w : block)
            w = rng.Next();
        size_t n = static_cast<size_t>(std::min<uint64_t>(size - off, block.size() * 8));
        if (!f.WriteAt(off, block.data(), n, &st))
            return false;
        off += n;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool utf8Names = false;
    if (argc > 1 && std::string(argv[argc - 1]) == "--utf8-names") {
        utf8Names = true;
        --argc;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: zdl-sampleclient <folder> <size MiB> [seed] [--utf8-names]\n");
        return 2;
    }
    std::string root = argv[1];
    uint64_t total = std::strtoull(argv[2], nullptr, 10) << 20;
    Rng rng { argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1 };
    if (total < (1u << 20)) {
        std::fprintf(stderr, "zdl-sampleclient: at least 1 MiB\n");
        return 2;
    }
    // 3 % the executable, 17 % small files, the rest four archives.
    uint64_t exe = total * 3 / 100 + 12345;
    uint64_t smallBudget = total * 17 / 100;
    bool ok = WriteFile(root, "zpc.exe", exe, rng);
    uint64_t used = exe;
    int n = 0;
    while (ok && used < exe + smallBudget) {
        uint64_t size = 1 + rng.Next() % (96 * 1024);
        char name[64];
        std::snprintf(name, sizeof name, "data/small/%02d/file%05d.dat", n % 16, n);
        ok = WriteFile(root, name, size, rng);
        used += size;
        ++n;
    }
    ok = ok && WriteFile(root, "logs/empty.log", 0, rng);
    // "字体 readme.txt": a Chinese name with a blank.
    const char* chinese = utf8Names ? "data/\xe5\xad\x97\xe4\xbd\x93 readme.txt" : "data/\xd7\xd6\xcc\xe5 readme.txt";
    ok = ok && WriteFile(root, chinese, 777, rng);
    uint64_t rest = total > used ? total - used : 4096;
    for (int i = 0; ok && i < 4; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "data/pack%02d.pak", i);
        uint64_t size = i < 3 ? rest / 4 : rest - 3 * (rest / 4);
        ok = WriteFile(root, name, size + static_cast<uint64_t>(i) * 7, rng);
    }
    if (!ok) {
        std::fprintf(stderr, "zdl-sampleclient: cannot write into %s\n", root.c_str());
        return 1;
    }
    std::printf(
        "%d files, %d of them small, %llu bytes in all\n", g_files, n, static_cast<unsigned long long>(g_written));
    return 0;
}

// zdl-mkdesc: writes the download description of a folder of game files,
// and its digest file, for the download core.
//
//   zdl-mkdesc <client folder> <output folder> [--piece-size bytes]
//              [--title text] [--root folder] [--name file name] [--raw-names]
//
// Described names are GBK. File names are read as UTF-8 (the build
// machine's encoding) and converted; a name GBK cannot hold is refused.
// --raw-names takes the names' bytes as they are, for a tree whose names
// already are GBK.
//
// The server then publishes <output folder> with the client folder's files
// below it in <root> (default "files").
#include "core/DescriptionBuilder.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zdl;
using namespace zdl::core;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
            "usage: zdl-mkdesc <client folder> <output folder> [--piece-size n] [--title t] "
            "[--root r] [--name n] [--raw-names]\n"
            "  File names are read as UTF-8 and described in GBK; a name GBK cannot\n"
            "  hold is refused. --raw-names takes names as they are, for a tree\n"
            "  whose names already are GBK bytes.\n");
        return 2;
    }
    BuildSettings settings;
    std::string name = "zphdownload_setup.exe.data";
    for (int i = 3; i < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--raw-names") {
            settings.names = NameEncoding::Raw;
            --i;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "zdl-mkdesc: %s needs a value\n", opt.c_str());
            return 2;
        }
        std::string value = argv[i + 1];
        if (opt == "--piece-size")
            settings.pieceSize = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        else if (opt == "--title")
            settings.title = value;
        else if (opt == "--root")
            settings.root = value;
        else if (opt == "--name")
            name = value;
        else {
            std::fprintf(stderr, "zdl-mkdesc: unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    DownloadDescription desc;
    std::string error;
    if (!BuildDescription(argv[1], settings, &desc, &error)) {
        std::fprintf(stderr, "zdl-mkdesc: %s\n", error.c_str());
        return 1;
    }
    std::string bytes = SerializeDescription(desc);
    if (bytes.size() > kMaxDescriptionBytes) {
        std::fprintf(stderr, "zdl-mkdesc: the description would take %zu bytes, more than the %zu a core accepts\n",
            bytes.size(), kMaxDescriptionBytes);
        return 1;
    }
    FsStatus st;
    std::string out = argv[2];
    if (!CreateDirectories(out, &st) || !WriteFileAtomically(out + "/" + name, bytes, &st)
        || !WriteFileAtomically(out + "/" + name + ".digest", MakeDigestText(bytes), &st)) {
        std::fprintf(stderr, "zdl-mkdesc: cannot write into %s (error %d)\n", out.c_str(), st.code);
        return 1;
    }
    std::printf("%s: %zu files, %u pieces, %llu bytes\n", name.c_str(), desc.files.size(), desc.PieceCount(),
        static_cast<unsigned long long>(desc.totalSize));
    return 0;
}

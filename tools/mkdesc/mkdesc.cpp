// zdl-mkdesc: writes the download description of a folder of game files,
// and its digest file, for the download core.
//
//   zdl-mkdesc <client folder> <output folder> [--piece-size bytes]
//              [--title text] [--root folder] [--name file name] [--raw-names]
//              [--sign secret key]
//   zdl-mkdesc --keygen <public key file> <secret key file> [--no-password]
//   zdl-mkdesc --sign <secret key file> <file>
//   zdl-mkdesc --check <description URL> [--all-pieces] [--key minisign.pub]
//
// --keygen makes a minisign key pair, --sign signs a file (the digest) as
// "minisign -S" does (ReleaseSigner.h); the describing form signs the digest
// it writes when given --sign. A password comes from ZDL_SIGN_PASSWORD or
// is asked for on the terminal.
//
// The --check form is the publisher's preflight (PublicationCheck.h): it
// reads the published release as the core will and exits 1 when a file
// would stop a player's download. It checks the release's signature with
// the keys given (--key, a public key file or its key line; twice for a
// rotation), else with the keys this build was made with.
//
// Described names are GBK (the names the files get in the player's install
// folder). File names are read as UTF-8 (the build machine's encoding) and
// converted; a name GBK cannot hold, or one that does not convert back to
// the same bytes, is refused. The description then tells the core to ask
// the server for the UTF-8 names, as the server publishing this very tree
// names them. --raw-names takes the names' bytes as they are, for a tree
// whose names already are GBK (and are served so).
//
// The server then publishes <output folder> with the client folder's files
// below it in <root> (default "files").
#include "core/BuiltInKeys.h"
#include "core/DescriptionBuilder.h"
#include "core/HttpTransport.h"
#include "platform/FileSystem.h"
#include "tools/mkdesc/PublicationCheck.h"
#include "tools/mkdesc/ReleaseSigner.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Console.h"

using namespace zdl;
using namespace zdl::core;

namespace {

// A public key given as a minisign.pub file or as its key line.
bool ReadKey(const std::string& arg, PublicKey* key)
{
    std::string text;
    FsStatus st;
    if (ReadWholeFile(arg, 4096, &text, &st) && ParsePublicKey(text, key))
        return true;
    return ParsePublicKey(arg, key);
}

int Check(int argc, char** argv)
{
    mkdesc::CheckSettings settings;
    settings.descriptionUrl = argv[2];
    settings.keys = BuiltInKeys();
    bool keyGiven = false;
    for (int i = 3; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--all-pieces") {
            settings.allPieces = true;
        } else if (opt == "--key" && i + 1 < argc) {
            PublicKey key;
            if (!ReadKey(argv[++i], &key)) {
                std::fprintf(stderr, "zdl-mkdesc: %s is neither a minisign public key file nor a key line\n", argv[i]);
                return 2;
            }
            if (!keyGiven)
                settings.keys.clear(); // the keys given replace those built in
            keyGiven = true;
            settings.keys.push_back(key);
        } else {
            std::fprintf(stderr, "zdl-mkdesc: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (!core::HttpGlobalInit()) {
        std::fprintf(stderr, "zdl-mkdesc: cannot start libcurl\n");
        return 1;
    }
    mkdesc::CheckSummary summary;
    return mkdesc::CheckPublication(settings, stdout, &summary) ? 0 : 1;
}

// The password of a secret key: ZDL_SIGN_PASSWORD, else asked for
// (`twice` for a new key); false when none was given.
bool Password(bool twice, std::string* password)
{
    if (const char* env = std::getenv("ZDL_SIGN_PASSWORD")) {
        *password = env;
        return !password->empty();
    }
    std::string again;
    if (!ReadHiddenLine("Password: ", password) || password->empty())
        return false;
    if (twice && (!ReadHiddenLine("Password (again): ", &again) || again != *password)) {
        std::fprintf(stderr, "zdl-mkdesc: the passwords differ\n");
        return false;
    }
    return true;
}

int KeyGen(int argc, char** argv)
{
    bool plain = argc == 5 && std::string(argv[4]) == "--no-password";
    if (argc != 4 && !plain) {
        std::fprintf(stderr, "usage: zdl-mkdesc --keygen <public key file> <secret key file> [--no-password]\n");
        return 2;
    }
    std::string password, error;
    if (!plain && !Password(true, &password)) {
        std::fprintf(stderr, "zdl-mkdesc: no password (--no-password makes a key without one)\n");
        return 2;
    }
    if (!mkdesc::MakeKeyPair(argv[2], argv[3], password, &error)) {
        std::fprintf(stderr, "zdl-mkdesc: %s\n", error.c_str());
        return 1;
    }
    std::printf("public key %s, secret key %s\n", argv[2], argv[3]);
    return 0;
}

bool Sign(const std::string& secretKey, const std::string& file)
{
    std::string password, error;
    if (mkdesc::SecretKeyHasPassword(secretKey) && !Password(false, &password)) {
        std::fprintf(stderr, "zdl-mkdesc: the secret key needs its password\n");
        return false;
    }
    if (!mkdesc::SignFile(secretKey, password, file, &error)) {
        std::fprintf(stderr, "zdl-mkdesc: %s\n", error.c_str());
        return false;
    }
    std::printf("signed %s into %s.minisig\n", file.c_str(), file.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--check")
        return Check(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--keygen")
        return KeyGen(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--sign") {
        if (argc != 4) {
            std::fprintf(stderr, "usage: zdl-mkdesc --sign <secret key file> <file>\n");
            return 2;
        }
        return Sign(argv[2], argv[3]) ? 0 : 1;
    }
    if (argc < 3) {
        std::fprintf(stderr,
            "usage: zdl-mkdesc <client folder> <output folder> [--piece-size n] [--title t] "
            "[--root r] [--name n] [--raw-names] [--sign secret key]\n"
            "       zdl-mkdesc --check <description URL> [--all-pieces] [--key minisign.pub]\n"
            "       zdl-mkdesc --keygen <public key file> <secret key file> [--no-password]\n"
            "       zdl-mkdesc --sign <secret key file> <file>\n"
            "  File names are read as UTF-8 and described in GBK; the server is asked\n"
            "  for them in UTF-8. A name GBK cannot hold exactly is refused.\n"
            "  --raw-names takes names as they are, for a tree whose names already\n"
            "  are GBK bytes on the disk and on the server.\n"
            "  --check reads a published release as the downloader will: every file\n"
            "  served, at its size, with Range, and its first and last piece (every\n"
            "  piece with --all-pieces) as described, and the signature beside the\n"
            "  digest verified with --key (or the key built in). Exit status 1 on\n"
            "  any problem.\n"
            "  --keygen makes a minisign key pair, --sign signs a file (or, when\n"
            "  describing, the digest) as minisign -S does; the password comes from\n"
            "  ZDL_SIGN_PASSWORD or the terminal.\n");
        return 2;
    }
    BuildSettings settings;
    std::string name = "zphdownload_setup.exe.data";
    std::string secretKey;
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
        else if (opt == "--sign")
            secretKey = value;
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
    if (!secretKey.empty() && !Sign(secretKey, out + "/" + name + ".digest"))
        return 1;
    return 0;
}

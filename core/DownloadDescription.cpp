#include "core/DownloadDescription.h"

#include "platform/Console.h"

#include <cstring>
#include <set>

namespace zdl::core {

uint32_t PiecesOf(uint64_t size, uint32_t pieceSize)
{
    return static_cast<uint32_t>((size + pieceSize - 1) / pieceSize);
}

bool DownloadDescription::Layout()
{
    uint64_t pieces = 0;
    for (DescribedFile& f : files) {
        f.firstPiece = static_cast<uint32_t>(pieces);
        f.pieceCount = PiecesOf(f.size, pieceSize);
        pieces += f.pieceCount;
        if (pieces > kMaxPieces)
            return false;
    }
    if (pieces != pieceHashes.size())
        return false;
    pieceFile_.assign(pieces, 0);
    for (uint32_t i = 0; i < files.size(); ++i)
        for (uint32_t p = 0; p < files[i].pieceCount; ++p)
            pieceFile_[files[i].firstPiece + p] = i;
    return true;
}

PieceLocation DownloadDescription::Locate(uint32_t piece) const
{
    PieceLocation loc;
    loc.file = pieceFile_[piece];
    const DescribedFile& f = files[loc.file];
    loc.offset = uint64_t(piece - f.firstPiece) * pieceSize;
    uint64_t rest = f.size - loc.offset;
    loc.length = static_cast<uint32_t>(rest < pieceSize ? rest : pieceSize);
    return loc;
}

namespace {

    // Larger version numbers are not read as numbers at all.
    constexpr uint64_t kMaxKnownVersion = 1000000;

    bool IsGbkLeadByte(unsigned char c)
    {
        return c >= 0x81 && c <= 0xfe;
    }

    bool IsGbkTrailByte(unsigned char c)
    {
        return c >= 0x40 && c <= 0xfe && c != 0x7f;
    }

    bool IsDeviceName(const std::string& part)
    {
        std::string base = part.substr(0, part.find('.'));
        for (char& c : base)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        while (!base.empty() && base.back() == ' ')
            base.pop_back();
        static const char* kNames[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$" };
        for (const char* n : kNames)
            if (base == n)
                return true;
        if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0'
            && base[3] <= '9')
            return true;
        return false;
    }

    // Splits off the next line (without its line feed); false at the end or
    // when the rest has no line feed.
    bool NextLine(const std::string& s, size_t* pos, std::string* line)
    {
        size_t nl = s.find('\n', *pos);
        if (nl == std::string::npos)
            return false;
        line->assign(s, *pos, nl - *pos);
        *pos = nl + 1;
        return true;
    }

    bool ParseU64(const std::string& s, uint64_t max, uint64_t* out)
    {
        if (s.empty() || s.size() > 20 || (s.size() > 1 && s[0] == '0'))
            return false;
        uint64_t v = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            uint64_t d = static_cast<uint64_t>(c - '0');
            if (v > (max - d) / 10)
                return false;
            v = v * 10 + d;
        }
        *out = v;
        return true;
    }

    // "key value" with exactly one blank; the value is the rest of the line.
    bool KeyValue(const std::string& line, const char* key, std::string* value)
    {
        size_t n = std::strlen(key);
        if (line.size() < n + 1 || line.compare(0, n, key) != 0 || line[n] != ' ')
            return false;
        value->assign(line, n + 1, std::string::npos);
        return true;
    }

    bool KeyNumber(const std::string& line, const char* key, uint64_t max, uint64_t* out)
    {
        std::string v;
        return KeyValue(line, key, &v) && ParseU64(v, max, out);
    }

    // ASCII letters in lower case, as Windows compares names; the second
    // byte of a GBK character (lead byte 0x81-0xFE) may fall in 'A'-'Z' and
    // is part of that character, so it stays as it is.
    std::string Lower(std::string s)
    {
        for (size_t i = 0; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c >= 0x81 && c <= 0xFE && i + 1 < s.size())
                ++i;
            else if (c >= 'A' && c <= 'Z')
                s[i] = static_cast<char>(c - 'A' + 'a');
        }
        return s;
    }

    // "ZDLDESC <version>": the version, 0 when the line is no header.
    int HeaderVersion(const std::string& line)
    {
        uint64_t v = 0;
        if (!KeyNumber(line, "ZDLDESC", kMaxKnownVersion, &v))
            return 0;
        return static_cast<int>(v);
    }

    bool ConvertsToUtf8(const std::string& gbk)
    {
        std::string utf8;
        return GbkToUtf8Exact(gbk, &utf8);
    }

} // namespace

bool IsSafeRelativePath(const std::string& path)
{
    if (path.empty() || path.size() > kMaxPathBytes)
        return false;
    size_t start = 0;
    while (true) {
        size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (part.back() == '.' || part.back() == ' ')
            return false;
        for (size_t i = 0; i < part.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(part[i]);
            if (IsGbkLeadByte(c)) {
                // A double-byte character; its second byte may look like
                // '\\' or '|' but is part of the character.
                if (i + 1 >= part.size() || !IsGbkTrailByte(static_cast<unsigned char>(part[i + 1])))
                    return false;
                ++i;
                continue;
            }
            if (c < 0x20 || c == 0x7f || c == 0xff || std::strchr("\\:*?\"<>|", c))
                return false;
        }
        if (IsDeviceName(part))
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return true;
}

bool ParseDescription(const std::string& s, DownloadDescription* out, std::string* error)
{
    *out = DownloadDescription();
    auto fail = [&](const std::string& why) {
        *error = why;
        return false;
    };
    if (s.size() > kMaxDescriptionBytes)
        return fail("description too large");
    if (s.find('\0') != std::string::npos || s.find('\r') != std::string::npos)
        return fail("description has NUL or CR bytes");
    size_t pos = 0;
    std::string line, value;
    const int version = NextLine(s, &pos, &line) ? HeaderVersion(line) : 0;
    if (version == 0)
        return fail("not a download description");
    if (version > kDescriptionVersion)
        return fail("description version " + std::to_string(version) + " is newer than this core, which reads up to "
            + std::to_string(kDescriptionVersion));
    if (!NextLine(s, &pos, &line) || !KeyValue(line, "title", &out->title) || out->title.size() > kMaxTitleBytes)
        return fail("bad title line");
    if (!NextLine(s, &pos, &line) || !KeyValue(line, "root", &out->root))
        return fail("bad root line");
    if (!out->root.empty() && !IsSafeRelativePath(out->root))
        return fail("unsafe root");
    if (version >= 2) {
        if (!NextLine(s, &pos, &line) || !KeyValue(line, "names", &value) || (value != "utf-8" && value != "gbk"))
            return fail("bad names line");
        out->serverNames = value == "utf-8" ? ServerNames::Utf8 : ServerNames::Gbk;
        size_t next = pos;
        while (NextLine(s, &next, &line) && KeyValue(line, "mirror", &value)) {
            if (!IsMirrorUrl(value))
                return fail("bad mirror line");
            if (out->mirrors.size() >= kMaxDescribedMirrors)
                return fail("too many mirrors");
            out->mirrors.push_back(value);
            pos = next;
        }
    }
    // Every UTF-8 address is made from the GBK name: a name that does not
    // convert could not be fetched.
    const bool needUtf8 = out->serverNames == ServerNames::Utf8;
    if (needUtf8 && !ConvertsToUtf8(out->root))
        return fail("root has no UTF-8 form");
    uint64_t pieceSize = 0, totalSize = 0, fileCount = 0, pieceCount = 0;
    if (!NextLine(s, &pos, &line) || !KeyNumber(line, "piecesize", kMaxPieceSize, &pieceSize)
        || pieceSize < kMinPieceSize)
        return fail("bad piece size");
    if (!NextLine(s, &pos, &line) || !KeyNumber(line, "totalsize", kMaxTotalSize, &totalSize))
        return fail("bad total size");
    if (!NextLine(s, &pos, &line) || !KeyNumber(line, "files", kMaxFiles, &fileCount) || fileCount == 0)
        return fail("bad file count");
    if (!NextLine(s, &pos, &line) || !KeyNumber(line, "pieces", kMaxPieces, &pieceCount))
        return fail("bad piece count");
    out->pieceSize = static_cast<uint32_t>(pieceSize);
    out->totalSize = totalSize;
    out->files.reserve(static_cast<size_t>(fileCount));
    std::set<std::string> names; // lower-cased: Windows folders ignore case
    uint64_t sum = 0, pieces = 0;
    for (uint64_t i = 0; i < fileCount; ++i) {
        if (!NextLine(s, &pos, &line) || line.compare(0, 2, "f ") != 0)
            return fail("bad file line " + std::to_string(i));
        size_t sp1 = line.find(' ', 2);
        size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
        if (sp2 == std::string::npos)
            return fail("bad file line " + std::to_string(i));
        DescribedFile f;
        if (!ParseU64(line.substr(2, sp1 - 2), kMaxTotalSize, &f.size)
            || !FromHex(line.substr(sp1 + 1, sp2 - sp1 - 1), &f.hash))
            return fail("bad file line " + std::to_string(i));
        f.path = line.substr(sp2 + 1);
        if (!IsSafeRelativePath(f.path))
            return fail("unsafe path in file line " + std::to_string(i));
        if (needUtf8 && !ConvertsToUtf8(f.path))
            return fail("path without a UTF-8 form in file line " + std::to_string(i));
        std::string lower = Lower(f.path);
        // The folder itself too: on Windows ".ZDLCORE" is the same name.
        if (lower == kInfoFolderName
            || lower.compare(0, sizeof kInfoFolderName, std::string(kInfoFolderName) + "/") == 0)
            return fail("path inside the download information folder: " + f.path);
        if (!names.insert(lower).second)
            return fail("file listed twice: " + f.path);
        sum += f.size;
        if (sum > totalSize)
            return fail("file sizes exceed the total size");
        pieces += PiecesOf(f.size, out->pieceSize);
        out->files.push_back(std::move(f));
    }
    if (sum != totalSize)
        return fail("file sizes do not add up to the total size");
    if (pieces != pieceCount)
        return fail("piece count does not match the file sizes");
    // A file may not also be a folder of another file ("a" and "a/b").
    for (const std::string& n : names) {
        auto lb = names.lower_bound(n + "/");
        if (lb != names.end() && lb->compare(0, n.size() + 1, n + "/") == 0)
            return fail("file is also a folder: " + n);
    }
    out->pieceHashes.resize(static_cast<size_t>(pieceCount));
    for (uint64_t i = 0; i < pieceCount; ++i) {
        if (!NextLine(s, &pos, &line) || line.size() != 66 || line.compare(0, 2, "p ") != 0
            || !FromHex(line.substr(2), &out->pieceHashes[i]))
            return fail("bad piece line " + std::to_string(i));
    }
    if (!NextLine(s, &pos, &line) || line != "end" || pos != s.size())
        return fail("missing end line or trailing bytes");
    if (!out->Layout())
        return fail("inconsistent layout");
    return true;
}

std::string SerializeDescription(const DownloadDescription& d)
{
    const bool utf8 = d.serverNames == ServerNames::Utf8;
    const bool v2 = utf8 || !d.mirrors.empty();
    std::string s = v2 ? "ZDLDESC 2\n" : "ZDLDESC 1\n";
    s += "title " + d.title + "\n";
    s += "root " + d.root + "\n";
    if (v2)
        s += utf8 ? "names utf-8\n" : "names gbk\n";
    for (const std::string& m : d.mirrors)
        s += "mirror " + m + "\n";
    s += "piecesize " + std::to_string(d.pieceSize) + "\n";
    s += "totalsize " + std::to_string(d.totalSize) + "\n";
    s += "files " + std::to_string(d.files.size()) + "\n";
    s += "pieces " + std::to_string(d.pieceHashes.size()) + "\n";
    for (const DescribedFile& f : d.files)
        s += "f " + std::to_string(f.size) + " " + ToHex(f.hash) + " " + f.path + "\n";
    for (const Sha256Digest& h : d.pieceHashes)
        s += "p " + ToHex(h) + "\n";
    s += "end\n";
    return s;
}

bool IsMirrorUrl(const std::string& url)
{
    const size_t scheme = url.compare(0, 7, "http://") == 0 ? 7 : url.compare(0, 8, "https://") == 0 ? 8 : 0;
    if (scheme == 0 || url.size() <= scheme || url.size() > kMaxMirrorUrlBytes || url.back() == '/')
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7f || c == ';')
            return false;
    return true;
}

std::string MakeDigestText(const std::string& bytes)
{
    return "ZDLDIGEST 1 " + ToHex(Sha256::Of(bytes.data(), bytes.size())) + " " + std::to_string(bytes.size()) + "\n";
}

bool ParseDigestText(const std::string& text, Sha256Digest* digest, uint64_t* size)
{
    if (text.size() > kMaxDigestBytes)
        return false;
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    const std::string prefix = "ZDLDIGEST 1 ";
    if (t.compare(0, prefix.size(), prefix) != 0 || t.size() < prefix.size() + 66 || t[prefix.size() + 64] != ' ')
        return false;
    return FromHex(t.substr(prefix.size(), 64), digest)
        && ParseU64(t.substr(prefix.size() + 65), kMaxDescriptionBytes, size);
}

std::string EncodeUrlPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || std::strchr("-._~/", c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string FileAddress(const std::string& httpUrl, const DownloadDescription& desc, uint32_t file)
{
    auto name = [&desc](const std::string& gbk) {
        std::string utf8;
        if (desc.serverNames == ServerNames::Utf8 && GbkToUtf8Exact(gbk, &utf8))
            return EncodeUrlPath(utf8);
        return EncodeUrlPath(gbk);
    };
    std::string url = httpUrl + "/";
    if (!desc.root.empty())
        url += name(desc.root) + "/";
    return url + name(desc.files[file].path);
}

} // namespace zdl::core

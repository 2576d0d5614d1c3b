// libFuzzer target: the layout loader on arbitrary input. An input whose
// first byte is even is Lua source as it stands; an odd one is turned into
// a panel script whose children, keys, type names, names and arguments are
// drawn from the bytes, so that the reading and creating passes see many
// well-formed tables too. Every load ends in true or in a message box
// (answered by the hook), never in a crash, a leak or a hang: the script
// state's instruction and memory bounds hold for every input.
#include "gfx/ResourceArchive.h"
#include "platform/MessageBox.h"
#include "skin/LayoutLoader.h"

#include <cstdint>
#include <string>

namespace {

using namespace zdl;

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size)
        : data_(data)
        , size_(size)
    {
    }
    bool More() const { return pos_ < size_; }
    uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const char* const kTypes[] = { "UImageButton", "UCheckButton", "UBubble", "UProgress", "UAnimate", "URichText", "UEdit",
    "UContainer", "UImage", "uedit" };
const char* const kFiles[]
    = { "btn_set.tcp", "check_btn.tcp", "progress.png", "progress_head.tcp", "logo.png", "gone.png", "bg.png", "" };
const char* const kNumbers[] = { "0", "1", "-1", "4", "15", "32767", "32768", "-40000", "1e9", "0/0", "1/0", "-1/0",
    "'12'", "'x'", "nil", "2.5" };

std::string Value(Bytes& b)
{
    uint8_t v = b.Next();
    switch (v % 4) {
    case 0:
        return kNumbers[b.Next() % 16];
    case 1:
        return std::string("'") + kFiles[b.Next() % 8] + "'";
    case 2:
        return "{}";
    default:
        return std::to_string(static_cast<int>(b.Next()) - 128);
    }
}

std::string Table(Bytes& b)
{
    std::string s = "return { type_name = '";
    s += (b.Next() % 8) ? "UImagePanel" : "UPanel";
    s += "', arg = { 0, 0, '";
    s += kFiles[b.Next() % 8];
    s += "' }, son_list = {";
    int children = b.Next() % 32;
    for (int i = 0; i < children && b.More(); ++i) {
        uint8_t shape = b.Next();
        s += "["
            + ((shape & 1) ? std::to_string(static_cast<int>(b.Next()) - 100) : "'" + std::to_string(b.Next()) + "'")
            + "] = ";
        if (shape % 13 == 0) {
            s += "'not a table',";
            continue;
        }
        s += "{ type_name = '" + std::string(kTypes[b.Next() % 10]) + "', name = 'n" + std::to_string(b.Next() % 8)
            + "'";
        if (shape % 11 != 0) {
            s += ", arg = {";
            int args = b.Next() % 7;
            for (int a = 0; a < args; ++a)
                s += Value(b) + ",";
            s += "}";
        }
        s += " },";
    }
    return s + "} }";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool archive = LoadResourceArchive();
    (void)archive;
    static ScopedMessageBoxRecorder boxes;
    boxes.boxes.clear();
    std::string script;
    if (size > 0 && data[0] % 2 == 0) {
        script.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        Bytes b(data, size);
        b.Next();
        script = Table(b);
    }
    CSBitmapDialog panel;
    panel.FillDefaultStyles();
    bool ok = LoadLayoutFromBuffer("fuzz.lua", script.data(), script.size(), &panel);
    if (ok == !boxes.boxes.empty())
        __builtin_trap(); // a load fails exactly when it says why
    return 0;
}

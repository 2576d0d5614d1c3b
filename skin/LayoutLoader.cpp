#include "skin/LayoutLoader.h"

#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "platform/MessageBox.h"
#include "skin/ControlFactories.h"
#include "skin/LayoutLua.h"

#include <string>
#include <vector>

namespace zdl {

// "打不开指定的配置文件!~"
const char kLayoutCannotOpenText[]
    = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE!~";
// "解析配置文件出错!~"
const char kLayoutCompileText[] = "\xBD\xE2\xCE\xF6\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED!~";
// "配置文件函数应该返回一个表!~"
const char kLayoutNotTableText[]
    = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBA\xAF\xCA\xFD\xD3\xA6\xB8\xC3\xB7\xB5\xBB\xD8\xD2\xBB\xB8\xF6\xB1\xED!~";
// "panel 类型必须为 UImage"
const char kLayoutRootTypeText[] = "panel \xC0\xE0\xD0\xCD\xB1\xD8\xD0\xEB\xCE\xAA UImage";
// "panel 必须有 arg", "提示"
const char kLayoutNoArgText[] = "panel \xB1\xD8\xD0\xEB\xD3\xD0 arg";
const char kLayoutNoArgCaption[] = "\xCC\xE1\xCA\xBE";
// "panel 必须有 son_list表", "hehe"
const char kLayoutNoSonListText[] = "panel \xB1\xD8\xD0\xEB\xD3\xD0 son_list\xB1\xED";
const char kLayoutNoSonListCaption[] = "hehe";
// "子控件也应该有arg表"
const char kLayoutChildNoArgText[] = "\xD7\xD3\xBF\xD8\xBC\xFE\xD2\xB2\xD3\xA6\xB8\xC3\xD3\xD0"
                                     "arg\xB1\xED";
// "打不开指定的气泡资源"
const char kLayoutBubbleImageText[]
    = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xC6\xF8\xC5\xDD\xD7\xCA\xD4\xB4";
// "打不开指定的按钮资源"
const char kLayoutButtonImageText[]
    = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xB0\xB4\xC5\xA5\xD7\xCA\xD4\xB4";
// "打不开指定的动画资源"
const char kLayoutAnimationImageText[]
    = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xB6\xAF\xBB\xAD\xD7\xCA\xD4\xB4";
// "配置文件太大!~"
const char kLayoutTooLargeText[] = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xCC\xAB\xB4\xF3!~";
// "配置文件不能是编译过的代码!~"
const char kLayoutPrecompiledText[]
    = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB2\xBB\xC4\xDC\xCA\xC7\xB1\xE0\xD2\xEB\xB9\xFD\xB5\xC4\xB4\xFA\xC2\xEB!~";
// "运行配置文件出错!~"
const char kLayoutRunErrorText[] = "\xD4\xCB\xD0\xD0\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED!~";
// "配置文件运行时间过长!~"
const char kLayoutTooManyStepsText[]
    = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xD4\xCB\xD0\xD0\xCA\xB1\xBC\xE4\xB9\xFD\xB3\xA4!~";
// "配置文件占用内存过多!~"
const char kLayoutOutOfMemoryText[]
    = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xD5\xBC\xD3\xC3\xC4\xDA\xB4\xE6\xB9\xFD\xB6\xE0!~";
// "子控件必须是表!~"
const char kLayoutChildNotTableText[] = "\xD7\xD3\xBF\xD8\xBC\xFE\xB1\xD8\xD0\xEB\xCA\xC7\xB1\xED!~";
// "子控件太多!~"
const char kLayoutTooManyChildrenText[] = "\xD7\xD3\xBF\xD8\xBC\xFE\xCC\xAB\xB6\xE0!~";
// "子控件的类型名必须是不超过31字节的字符串!~"
const char kLayoutBadTypeNameText[]
    = "\xD7\xD3\xBF\xD8\xBC\xFE\xB5\xC4\xC0\xE0\xD0\xCD\xC3\xFB\xB1\xD8\xD0\xEB\xCA\xC7\xB2\xBB\xB3\xAC\xB9\xFD"
      "31\xD7\xD6\xBD\xDA\xB5\xC4\xD7\xD6\xB7\xFB\xB4\xAE!~";
// "子控件的名字必须是不超过31字节的字符串!~"
const char kLayoutBadNameText[]
    = "\xD7\xD3\xBF\xD8\xBC\xFE\xB5\xC4\xC3\xFB\xD7\xD6\xB1\xD8\xD0\xEB\xCA\xC7\xB2\xBB\xB3\xAC\xB9\xFD"
      "31\xD7\xD6\xBD\xDA\xB5\xC4\xD7\xD6\xB7\xFB\xB4\xAE!~";
// "子控件的图片文件名必须是不超过63字节的字符串!~"
const char kLayoutBadFileNameText[]
    = "\xD7\xD3\xBF\xD8\xBC\xFE\xB5\xC4\xCD\xBC\xC6\xAC\xCE\xC4\xBC\xFE\xC3\xFB\xB1\xD8\xD0\xEB\xCA\xC7\xB2\xBB\xB3"
      "\xAC\xB9\xFD"
      "63\xD7\xD6\xBD\xDA\xB5\xC4\xD7\xD6\xB7\xFB\xB4\xAE!~";
// "创建子控件失败!~"
const char kLayoutCreateFailedText[] = "\xB4\xB4\xBD\xA8\xD7\xD3\xBF\xD8\xBC\xFE\xCA\xA7\xB0\xDC!~";

namespace {

    void Report(const char* text, const char* caption = "")
    {
        ShowMessageBox(nullptr, text, caption, MB_OK);
    }

    // The message and caption for a failed read; texts of our own take the
    // caption of the installer's nearest message, which is empty for all.
    void ReportRead(LayoutStatus status, const ParsedLayout& parsed)
    {
        switch (status) {
        case LayoutStatus::kOk:
            return;
        case LayoutStatus::kCannotOpen:
            return Report(kLayoutCannotOpenText);
        case LayoutStatus::kTooLarge:
            return Report(kLayoutTooLargeText);
        case LayoutStatus::kPrecompiled:
            return Report(kLayoutPrecompiledText);
        case LayoutStatus::kCompileError:
            return Report(kLayoutCompileText);
        case LayoutStatus::kRunError: {
            std::string text = kLayoutRunErrorText;
            if (!parsed.errorDetail.empty())
                text += "\n" + parsed.errorDetail;
            return Report(text.c_str());
        }
        case LayoutStatus::kTooManySteps:
            return Report(kLayoutTooManyStepsText);
        case LayoutStatus::kOutOfMemory:
            return Report(kLayoutOutOfMemoryText);
        case LayoutStatus::kNotTable:
            return Report(kLayoutNotTableText);
        case LayoutStatus::kBadRootType:
            return Report(kLayoutRootTypeText);
        case LayoutStatus::kNoArg:
            return Report(kLayoutNoArgText, kLayoutNoArgCaption);
        case LayoutStatus::kNoSonList:
            return Report(kLayoutNoSonListText, kLayoutNoSonListCaption);
        case LayoutStatus::kChildNotTable:
            return Report(kLayoutChildNotTableText);
        case LayoutStatus::kChildNoArg:
            return Report(kLayoutChildNoArgText);
        case LayoutStatus::kTooManyChildren:
            return Report(kLayoutTooManyChildrenText);
        case LayoutStatus::kBadTypeName:
            return Report(kLayoutBadTypeNameText);
        case LayoutStatus::kBadName:
            return Report(kLayoutBadNameText);
        case LayoutStatus::kBadFileName:
            return Report(kLayoutBadFileNameText);
        }
    }

    // The picture of a child, or null after reporting |text| with the file name
    // as caption.
    DibImage* ChildImage(const LayoutChild& child, const char* text)
    {
        DibImage* image = GetImage(child.fileName.c_str());
        if (!image)
            Report(text, child.fileName.c_str());
        return image;
    }

    // A button sized by its picture: frame 0 keeps it 1 x 1.
    HResult MakeButton(CSBitmapDialog* panel, int32_t id, const LayoutChild& child, DibImage* image)
    {
        CSControl* button = nullptr;
        HResult status = CreateImageButton(panel, id, child.x, child.y, &button);
        if (status < 0 || !button)
            return status < 0 ? status : kStatusOutOfMemory;
        if (button->layers.empty())
            button->layers.resize(1);
        button->layers[0].image = image;
        if (child.frame != 0) {
            button->layers[0].frameWidth = image->Width() / child.frame;
            button->width = button->layers[0].frameWidth;
            button->height = image->Height();
            button->UpdateRect();
        }
        return 0;
    }

    enum class Made { kCreated, kSkipped, kFailed };

    // Creates the control of one child; kFailed after its message was shown.
    Made CreateChild(CSBitmapDialog* panel, int32_t id, const LayoutChild& c)
    {
        const std::string& t = c.typeName;
        HResult status = 0;
        if (t == "UBubble") {
            DibImage* image = ChildImage(c, kLayoutBubbleImageText);
            if (!image)
                return Made::kFailed;
            CSControl* bubble = nullptr;
            status = CreateBubble(panel, image, id, c.x, c.y, &bubble);
            if (status >= 0 && bubble)
                bubble->SetEnabled(false); // pictures never take the mouse
        } else if (t == "UImageButton") {
            DibImage* image = ChildImage(c, kLayoutButtonImageText);
            if (!image)
                return Made::kFailed;
            status = MakeButton(panel, id, c, image);
        } else if (t == "UProgress") {
            DibImage* image = ChildImage(c, kLayoutButtonImageText);
            if (!image)
                return Made::kFailed;
            status = CreateProgressBar(panel, image, id, c.x, c.y, c.w);
        } else if (t == "UContainer") {
            status = CreateWebView(panel, id, c.x, c.y, c.w, c.h);
        } else if (t == "URichText") {
            status = CreateRichText(panel, id, c.x, c.y, c.w, c.h);
        } else if (t == "UEdit") {
            status = CreateEditBox(panel, id, c.x, c.y, c.w, c.h);
        } else if (t == "UCheckButton") {
            DibImage* image = ChildImage(c, kLayoutButtonImageText);
            if (!image)
                return Made::kFailed;
            status = CreateCheckBox(panel, id, c.x, c.y, image);
        } else if (t == "UAnimate") {
            DibImage* image = ChildImage(c, kLayoutAnimationImageText);
            if (!image)
                return Made::kFailed;
            status = CreateAnimation(panel, id, c.x, c.y, image, c.frame, c.speed);
        } else {
            return Made::kSkipped;
        }
        if (status < 0) {
            Report(kLayoutCreateFailedText, c.fileName.c_str());
            return Made::kFailed;
        }
        return Made::kCreated;
    }

} // namespace

bool LoadLayoutFromBuffer(const char* fileName, const void* bytes, size_t size, CSBitmapDialog* panel)
{
    if (!panel)
        return false;
    if (!layoutLuaState)
        layoutLuaState = NewLayoutLuaState();
    ParsedLayout parsed;
    LayoutStatus status = ReadLayoutScript(layoutLuaState, fileName, bytes, size, &parsed);
    if (parsed.rootRead) {
        DibImage* background = parsed.hasBackground ? GetImage(parsed.background.c_str()) : nullptr;
        panel->background = background;
        panel->x = 0;
        panel->y = 0;
        if (background) {
            panel->width = background->Width();
            panel->height = background->Height();
        }
    }
    if (status != LayoutStatus::kOk) {
        ReportRead(status, parsed);
        return false;
    }
    int32_t id = 1;
    for (const auto& entry : parsed.children) {
        const LayoutChild& child = entry.second;
        Made made = CreateChild(panel, id, child);
        if (made == Made::kFailed)
            return false;
        if (made == Made::kCreated) {
            panel->controlIds[child.name] = id;
            ++id;
        }
    }
    return true;
}

bool LoadLayout(const char* fileName, CSBitmapDialog* panel)
{
    if (!panel)
        return false;
    std::unique_ptr<ResourceStream> stream = fileName ? OpenResourceFile(fileName) : nullptr;
    if (!stream) {
        Report(kLayoutCannotOpenText);
        return false;
    }
    size_t total = stream->TotalSize();
    if (total > kMaxLayoutScriptBytes) {
        Report(kLayoutTooLargeText);
        return false;
    }
    std::vector<char> bytes(total);
    size_t got = total ? stream->Read(bytes.data(), total) : 0;
    return LoadLayoutFromBuffer(fileName, bytes.data(), got, panel);
}

} // namespace zdl

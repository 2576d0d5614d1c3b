#include "skin/LayoutLoader.h"

#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "platform/MessageBox.h"
#include "skin/ControlFactories.h"
#include "skin/LayoutLua.h"

#include <string>
#include <vector>

namespace zdl {

const char kLayoutNoSonListCaption[] = "hehe";

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

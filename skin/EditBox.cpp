#include "skin/EditBox.h"

#include "gfx/TextDraw.h"
#include "skin/ControlContainer.h"
#include "skin/ControlInput.h"
#include "skin/GbkText.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zdl {

namespace {

    // WM_CHAR codes with a meaning of their own.
    constexpr unsigned kCharSelectAll = 1; // Ctrl+A
    constexpr unsigned kCharCopy = 3; // Ctrl+C
    constexpr unsigned kCharBackspace = 8;
    constexpr unsigned kCharEnter = 13;
    constexpr unsigned kCharPaste = 22; // Ctrl+V
    constexpr unsigned kCharCut = 24; // Ctrl+X
    constexpr unsigned kFirstTextChar = 30;

    bool IsGbkTrailByte(unsigned char c)
    {
        return c >= 0x40 && c <= 0xFE && c != 0x7F;
    }

} // namespace

CSEditBox::CSEditBox()
    : CSControl(kTypeEditBox)
{
    UiPlatform& ui = GetUiPlatform();
    caretBlinkTime = ui.CaretBlinkTime();
    lastBlink = ui.TickCount();
}

CSEditBox::~CSEditBox() = default;

bool CSEditBox::CanFocus()
{
    return visible && enabled;
}

void CSEditBox::OnSetFocus()
{
    CSControl::OnSetFocus();
    RestartBlink();
}

void CSEditBox::SetEnabled(bool enable)
{
    if (!enable)
        CancelPress(this, &dragging);
    CSControl::SetEnabled(enable);
}

void CSEditBox::SetVisible(bool show)
{
    if (!show)
        CancelPress(this, &dragging);
    CSControl::SetVisible(show);
}

void CSEditBox::SetTextColor(ColorRef color)
{
    textColor = color;
}

void CSEditBox::RestartBlink()
{
    caretOn = true;
    lastBlink = GetUiPlatform().TickCount();
}

// Cells are one byte wide: the font's average width (one more for bold
// faces, which GDI draws wider). A field lower than its font grows to it.
void CSEditBox::UpdateRect()
{
    CSControl::UpdateRect();
    textRect = rect;
    textRect.left += inset;
    textRect.top += inset;
    textRect.right -= inset;
    textRect.bottom -= inset;
    FontDesc desc;
    if (layers.empty() || !FindFontDesc(layers[0].font, &desc))
        return;
    int average = desc.width;
    TextMetrics metrics;
    if (average <= 0 && GetFontMetrics(layers[0].font, &metrics))
        average = metrics.aveCharWidth;
    cellWidth = std::max(1, average + (desc.weight >= 600 ? 1 : 0));
    visibleChars = std::max(0, (textRect.right - textRect.left) / cellWidth);
    if (textRect.bottom - textRect.top < desc.height) {
        textRect.bottom = textRect.top + desc.height;
        height = desc.height;
    }
    UpdateVisibleEnds();
}

bool CSEditBox::SetText(const char* text)
{
    int capacity = std::clamp(maxLength, 0, kEditBufferSize - 1);
    size_t n = text ? strnlen(text, static_cast<size_t>(capacity) + 1) : 0;
    if (n > static_cast<size_t>(capacity))
        return false;
    if (n)
        std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    length = static_cast<int32_t>(n);
    scrollPos = 0;
    pendingLeadByte = false;
    dropNextTrail = false;
    SetCaret(length);
    anchor = caret;
    return true;
}

void CSEditBox::SetCaret(int position)
{
    caret = std::clamp(position, 0, static_cast<int>(length));
    if (caret < scrollPos)
        scrollPos = caret;
    if (caret > scrollPos + visibleChars)
        scrollPos = caret - visibleChars;
    UpdateVisibleEnds();
}

void CSEditBox::UpdateVisibleEnds()
{
    scrollPos = std::clamp(scrollPos, 0, static_cast<int>(length));
    firstIsTrail = GbkIsTrailAt(buffer, length, scrollPos);
    int end = std::min(scrollPos + visibleChars, static_cast<int>(length));
    int last = end - 1;
    lastIsLead = last >= scrollPos && last + 1 < length && !GbkIsTrailAt(buffer, length, last)
        && IsGbkLeadByte(static_cast<unsigned char>(buffer[last]));
}

int CSEditBox::CharLeft(int p) const
{
    if (p <= 0)
        return 0;
    if (p > 1 && GbkIsTrailAt(buffer, length, p - 1))
        return p - 2;
    return p - 1;
}

int CSEditBox::CharRight(int p) const
{
    if (p >= length)
        return length;
    if (IsGbkLeadByte(static_cast<unsigned char>(buffer[p])) && p < length - 1)
        return p + 2;
    return p + 1;
}

int CSEditBox::PositionAt(int px) const
{
    int offset = px - textRect.left + 1;
    int cell = (offset < 0 ? 0 : offset / std::max(1, static_cast<int>(cellWidth))) + scrollPos;
    if (cell >= length)
        return length;
    if (GbkIsTrailAt(buffer, length, cell))
        ++cell;
    return cell;
}

void CSEditBox::RemoveBytes(int from, int to)
{
    from = std::clamp(from, 0, static_cast<int>(length));
    to = std::clamp(to, from, static_cast<int>(length));
    std::memmove(buffer + from, buffer + to, static_cast<size_t>(length - to) + 1);
    length -= to - from;
}

void CSEditBox::DeleteSelection()
{
    int lo = std::min(caret, anchor);
    int hi = std::max(caret, anchor);
    RemoveBytes(lo, hi);
    SetCaret(lo);
    anchor = caret;
}

bool CSEditBox::Copy()
{
    if (!HasSelection())
        return false;
    int lo = std::clamp(std::min(caret, anchor), 0, static_cast<int>(length));
    int hi = std::clamp(std::max(caret, anchor), lo, static_cast<int>(length));
    return GetUiPlatform().SetClipboardText(ControlWindow(this), std::string(buffer + lo, buffer + hi));
}

bool CSEditBox::Paste()
{
    std::string text;
    if (!GetUiPlatform().GetClipboardText(ControlWindow(this), &text))
        return false;
    // One line only: the field holds a folder name.
    size_t n = text.find_first_of(std::string("\r\n\0", 3));
    if (n != std::string::npos)
        text.resize(n);
    int selected = std::abs(caret - anchor);
    int capacity = std::clamp(maxLength, 0, kEditBufferSize - 1);
    if (length - selected + static_cast<int>(text.size()) > capacity)
        return false;
    DeleteSelection();
    int at = caret;
    std::memmove(buffer + at + text.size(), buffer + at, static_cast<size_t>(length - at) + 1);
    std::memcpy(buffer + at, text.data(), text.size());
    length += static_cast<int32_t>(text.size());
    pendingLeadByte = false;
    SetCaret(at + static_cast<int>(text.size()));
    anchor = caret;
    return true;
}

// The last free byte never takes the first half of a character: a lead byte
// needs room for its trail, and a refused lead takes its trail with it.
bool CSEditBox::InsertByte(int p, unsigned char c)
{
    int capacity = std::clamp(maxLength, 0, kEditBufferSize - 1);
    bool isTrail = pendingLeadByte;
    bool isLead = !isTrail && IsGbkLeadByte(c);
    pendingLeadByte = false;
    if (p < 0 || p > length || length + (isLead ? 2 : 1) > capacity) {
        dropNextTrail = isLead;
        return false;
    }
    std::memmove(buffer + p + 1, buffer + p, static_cast<size_t>(length - p) + 1);
    buffer[p] = static_cast<char>(c);
    ++length;
    pendingLeadByte = isLead;
    return true;
}

void CSEditBox::TypeByte(unsigned char c)
{
    if (dropNextTrail) {
        dropNextTrail = false;
        if (IsGbkTrailByte(c))
            return;
    }
    if (HasSelection())
        DeleteSelection();
    // Overwriting replaces the whole character under the caret, and only
    // when the new character fits in its place; the second half of a new
    // double-byte character goes in behind its first half.
    if (!insertMode && caret < length && !pendingLeadByte) {
        int under = CharRight(caret) - caret;
        int capacity = std::clamp(maxLength, 0, kEditBufferSize - 1);
        int need = IsGbkLeadByte(c) ? 2 : 1;
        if (length - under + need > capacity) {
            dropNextTrail = need == 2;
            return;
        }
        RemoveBytes(caret, caret + under);
    }
    if (InsertByte(caret, c))
        SetCaret(caret + 1);
}

bool CSEditBox::OnMessage(unsigned msg, WParam wParam, LParam lParam)
{
    if (!enabled || !visible)
        return false;
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        OnKey(msg, wParam, lParam);
        return true;
    }
    if (msg != WM_CHAR)
        return false;
    unsigned c = static_cast<unsigned>(wParam);
    if (c == 0)
        return true; // no character
    if (c >= kFirstTextChar) {
        TypeByte(static_cast<unsigned char>(c));
        anchor = caret;
        RestartBlink();
        NotifyOwner(this, kNotifyEditChanged);
        return true;
    }
    pendingLeadByte = false;
    dropNextTrail = false;
    switch (c) {
    case kCharSelectAll:
        if (!HasSelection()) {
            anchor = 0;
            SetCaret(length);
        }
        break;
    case kCharCopy:
        Copy();
        break;
    case kCharCut:
        // The text goes only once the clipboard holds it.
        if (Copy()) {
            DeleteSelection();
            NotifyOwner(this, kNotifyEditChanged);
        }
        break;
    case kCharPaste:
        if (Paste())
            NotifyOwner(this, kNotifyEditChanged);
        break;
    case kCharBackspace:
        if (HasSelection()) {
            DeleteSelection();
        } else if (caret == 0) {
            RestartBlink();
            break;
        } else {
            int to = caret;
            int from = CharLeft(caret);
            RemoveBytes(from, to);
            SetCaret(from);
            anchor = caret;
        }
        NotifyOwner(this, kNotifyEditChanged);
        RestartBlink();
        break;
    case kCharEnter:
        NotifyOwner(this, kNotifyEditEnter);
        break;
    default:
        break;
    }
    return true;
}

bool CSEditBox::OnKey(unsigned msg, WParam key, LParam)
{
    if (msg != WM_KEYDOWN || !enabled || !visible)
        return false;
    UiPlatform& ui = GetUiPlatform();
    switch (key) {
    case VK_TAB:
    case VK_ESCAPE:
        return false;
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_RIGHT:
        if (key == VK_END)
            SetCaret(length);
        else if (key == VK_HOME)
            SetCaret(0);
        else if (key == VK_LEFT)
            SetCaret(CharLeft(caret));
        else
            SetCaret(CharRight(caret));
        if (!ui.IsKeyDown(VK_SHIFT))
            anchor = caret;
        RestartBlink();
        return true;
    case VK_INSERT:
        if (ui.IsKeyDown(VK_CONTROL)) {
            Copy();
        } else if (ui.IsKeyDown(VK_SHIFT)) {
            if (Paste())
                NotifyOwner(this, kNotifyEditChanged);
        } else {
            insertMode = !insertMode;
        }
        return false;
    case VK_DELETE:
        pendingLeadByte = false;
        if (HasSelection()) {
            DeleteSelection();
            NotifyOwner(this, kNotifyEditChanged);
        } else if (caret < length) {
            RemoveBytes(caret, CharRight(caret));
            SetCaret(caret);
            NotifyOwner(this, kNotifyEditChanged);
        }
        RestartBlink();
        return true;
    default:
        return true;
    }
}

bool CSEditBox::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    if (!enabled || !visible)
        return false;
    UiPlatform& ui = GetUiPlatform();
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (focusControl != this && owner)
            owner->RequestFocus(this);
        if (!HitTest(px, py))
            return false;
        ui.SetCursorShape(CursorShape::kIBeam);
        dragging = true;
        CaptureMouseFor(this);
        SetCaret(PositionAt(px));
        anchor = caret;
        RestartBlink();
        return true;
    case WM_MOUSEMOVE:
        if (dragging)
            SetCaret(PositionAt(px));
        if (HitTest(px, py))
            ui.SetCursorShape(CursorShape::kIBeam);
        return false;
    case WM_LBUTTONUP:
        if (dragging)
            ui.ReleaseCapture();
        dragging = false;
        if (HitTest(px, py))
            ui.SetCursorShape(CursorShape::kIBeam);
        return false;
    default:
        return false;
    }
}

// Each character goes into its own cells, so what shows lines up with the
// caret, the selection and the mouse even when the face's glyphs are not
// exactly one cell per byte wide.
void CSEditBox::DrawCells(
    DibImage* surface, FontHandle font, ColorRef color, const char* shown, int from, int to, const DibRect& area) const
{
    const uint32_t format = DT_NOPREFIX | DT_SINGLELINE | DT_NOCLIP;
    int cw = std::max(1, static_cast<int>(cellWidth));
    for (int i = from; i < to;) {
        int n = IsGbkLeadByte(static_cast<unsigned char>(shown[i])) && i + 1 < to ? 2 : 1;
        if (shown[i] != ' ') {
            DibRect cell { area.left + i * cw, area.top, area.left + (i + n) * cw, area.bottom };
            DrawTextOnCanvas(surface, font, color, shown + i, n, cell, format);
        }
        i += n;
    }
}

void CSEditBox::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || !surface)
        return;
    DibRect area = textRect;
    area.left += ox;
    area.right += ox;
    area.top += oy;
    area.bottom += oy;
    int cw = std::max(1, static_cast<int>(cellWidth));
    int caretCell = std::clamp(caret - scrollPos, 0, std::max(0, static_cast<int>(visibleChars)));
    int anchorCell = std::clamp(anchor - scrollPos, 0, std::max(0, static_cast<int>(visibleChars)));
    int caretX = caretCell * cw - 1;
    int anchorX = anchor < scrollPos ? -1 : anchorCell * cw - 1;
    if (HasSelection()) {
        DibRect sel { area.left + std::min(caretX, anchorX), area.top, area.left + std::max(caretX, anchorX),
            area.bottom };
        FillDibRect(surface, sel, selBackColor);
    }

    // The visible bytes, with half characters at either end shown as spaces.
    int count = std::clamp(std::min(static_cast<int>(visibleChars), length - scrollPos), 0, kEditBufferSize - 1);
    char shown[kEditBufferSize] = {};
    std::memcpy(shown, buffer + scrollPos, static_cast<size_t>(count));
    if (count > 0 && firstIsTrail)
        shown[0] = ' ';
    if (count > 0 && lastIsLead)
        shown[count - 1] = ' ';
    FontHandle font = layers.empty() ? nullptr : layers[0].font;
    // The text field is opaque whether or not glyphs cover it.
    SetDibAlphaOpaque(area, surface);
    DrawCells(surface, font, textColor, shown, 0, count, area);
    if (HasSelection()) {
        int lo = std::clamp(std::min(caret, anchor) - scrollPos, 0, count);
        int hi = std::clamp(std::max(caret, anchor) - scrollPos, lo, count);
        DrawCells(surface, font, selTextColor, shown, lo, hi, area);
    }

    uint32_t now = GetUiPlatform().TickCount();
    if (now - lastBlink >= caretBlinkTime) {
        caretOn = !caretOn;
        lastBlink = now;
    }
    if (focused && caretOn) {
        DibRect bar { area.left + caretX - 1, area.top, area.left + caretX + 1, area.bottom };
        if (!insertMode && caret < length)
            bar.right = area.left + (caretCell + 1) * cw; // block caret over the next cell
        bar.left = std::max(0, bar.left);
        FillDibRect(surface, bar, caretColor);
        SetDibAlphaOpaque(bar, surface);
    }
}

} // namespace zdl

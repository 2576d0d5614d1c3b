#include "skin/BitmapDialog.h"

#include "skin/UIDesktopWnd.h"

namespace zdl {

CSBitmapDialog::CSBitmapDialog() = default;

CSBitmapDialog::~CSBitmapDialog()
{
    if (childPanel && desktop) {
        CSBitmapDialog* child = childPanel;
        childPanel = nullptr;
        hasChildPanel = false;
        desktop->RemovePanel(child);
    }
    controlIds.clear();
}

bool CSBitmapDialog::Inside(int px, int py) const
{
    return px >= x && px < x + width && py >= y && py < y + height;
}

bool CSBitmapDialog::OnMouseDown(int px, int py)
{
    if (!movable || dragging || !Inside(px, py))
        return false;
    GetUiPlatform().SetCapture(CaptureWindow());
    dragging = true;
    dragOffsetX = px - x;
    dragOffsetY = py - y;
    return true;
}

bool CSBitmapDialog::OnMouseMove(int px, int py)
{
    if (movable && dragging) {
        x = px - dragOffsetX;
        y = py - dragOffsetY;
        return true;
    }
    if (movable && !Inside(px, py))
        return false;
    TrackHover(px - x, py - y);
    return false;
}

bool CSBitmapDialog::OnMouseUp(int px, int py)
{
    if (!movable)
        return false;
    if (dragging) {
        GetUiPlatform().ReleaseCapture();
        dragging = false;
        return true;
    }
    return Inside(px, py);
}

void CSBitmapDialog::OnCaptureLost()
{
    dragging = false;
}

void CSBitmapDialog::AfterPresent() { }

bool CSBitmapDialog::CanClose()
{
    return true;
}

CSControl* CSBitmapDialog::FindControlByName(const std::string& name, int32_t typeCode) const
{
    auto it = controlIds.find(name);
    return it == controlIds.end() ? nullptr : FindControl(it->second, typeCode);
}

} // namespace zdl

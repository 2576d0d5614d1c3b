#include "skin/UIDesktopWnd.h"

#include <algorithm>

namespace zdl {

CSUIDesktopWnd::CSUIDesktopWnd() = default;

CSUIDesktopWnd::~CSUIDesktopWnd()
{
    // Newest first, one at a time: a panel's destructor may remove its child
    // panel from this list, so the list is never walked while it changes.
    while (!panels.empty()) {
        CSBitmapDialog* panel = panels.back();
        panels.pop_back();
        delete panel;
    }
}

void CSUIDesktopWnd::AttachPanel(CSBitmapDialog* panel)
{
    if (!panel)
        return;
    panel->desktop = this;
    panel->FillDefaultStyles();
    panel->OnInit();
    panel->OnAttached();
    panels.push_back(panel);
}

void CSUIDesktopWnd::RemovePanel(CSBitmapDialog* panel)
{
    auto it = std::find(panels.begin(), panels.end(), panel);
    if (it == panels.end())
        return;
    panels.erase(it);
    delete panel;
}

bool CSUIDesktopWnd::HandleMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    // A handler may remove panels; walk by index and re-check the bound.
    for (size_t i = panels.size(); i-- > 0;) {
        if (i >= panels.size())
            continue;
        if (panels[i]->HandleMessage(window, msg, wParam, lParam))
            return true;
    }
    return CSControlContainer::HandleMessage(window, msg, wParam, lParam);
}

void CSUIDesktopWnd::Paint(DibImage* surface, int originX, int originY)
{
    CSControlContainer::Paint(surface, originX, originY);
    for (CSBitmapDialog* panel : panels)
        panel->Paint(surface, originX, originY);
}

void CSUIDesktopWnd::AfterPresent()
{
    for (size_t i = 0; i < panels.size(); ++i)
        panels[i]->AfterPresent();
}

bool CSUIDesktopWnd::CanClose()
{
    for (CSBitmapDialog* panel : panels) {
        if (!panel->CanClose())
            return false;
    }
    return true;
}

} // namespace zdl

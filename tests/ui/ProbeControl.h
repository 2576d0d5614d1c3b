// A control for tests: records what the container asks of it and paints a
// solid square of its own colour, so tests can see routing and paint order.
#pragma once

#include "skin/Control.h"

#include <string>
#include <vector>

namespace zdl::test {

class ProbeControl : public CSControl {
public:
    explicit ProbeControl(
        std::vector<std::string>* log = nullptr, const char* name = "probe", int32_t type = kTypeButton)
        : CSControl(type)
        , log_(log)
        , name_(name)
    {
    }

    HResult attachStatus = 0;
    bool focusable = false;
    bool takeMouse = true;
    bool takeKeys = false;
    int canFocusCalls = 0;
    int mouseCalls = 0;
    unsigned lastMouseMsg = 0;
    int lastMouseX = -1;
    int lastMouseY = -1;
    int activations = 0;
    uint32_t paintColor = 0xFF0000; // COLORREF

    HResult OnAttach() override { return attachStatus; }
    bool CanFocus() override
    {
        ++canFocusCalls;
        return focusable;
    }
    bool OnMouse(unsigned msg, int mx, int my, WParam, LParam) override
    {
        ++mouseCalls;
        lastMouseMsg = msg;
        lastMouseX = mx;
        lastMouseY = my;
        Log("mouse");
        return takeMouse;
    }
    bool OnKey(unsigned, WParam, LParam) override { return takeKeys; }
    void Activate() override
    {
        ++activations;
        Log("activate");
    }
    void OnSetFocus() override
    {
        CSControl::OnSetFocus();
        Log("setfocus");
    }
    void OnKillFocus() override
    {
        CSControl::OnKillFocus();
        Log("killfocus");
    }
    void Paint(DibImage* surface, int ox, int oy) override
    {
        if (!visible || !surface)
            return;
        Log("paint");
        for (int py = oy + y; py < oy + y + height; ++py) {
            for (int px = ox + x; px < ox + x + width; ++px) {
                if (px < 0 || py < 0 || px >= surface->Width() || py >= surface->Height())
                    continue;
                uint8_t* p = surface->Pixel(px, py);
                p[0] = static_cast<uint8_t>(paintColor >> 16);
                p[1] = static_cast<uint8_t>(paintColor >> 8);
                p[2] = static_cast<uint8_t>(paintColor);
                p[3] = 255;
            }
        }
    }

    void Place(int px, int py, int w, int h)
    {
        x = px;
        y = py;
        width = w;
        height = h;
        UpdateRect();
    }

private:
    void Log(const char* what)
    {
        if (log_)
            log_->push_back(name_ + ":" + what);
    }
    std::vector<std::string>* log_;
    std::string name_;
};

} // namespace zdl::test

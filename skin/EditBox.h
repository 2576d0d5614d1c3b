// CSEditBox: a windowless single-line field for GBK text (the install folder
// of the download page). Text is laid out in fixed cells of one byte each,
// as wide as the font's average character; a double-byte character takes
// two cells and is never split by the caret, a deletion or the display.
// It keeps a caret, a mouse selection (anchor to caret), insert and
// overwrite modes and the text clipboard, and tells its page 1537 when Enter
// is typed and 1538 after every change the user makes.
//
// Typed characters arrive as WM_CHAR bytes through the focus route; a
// double-byte character comes as its lead byte, then its trail byte. The
// clipboard is opened for the control's own top-level window, and the mouse
// captured to it while selecting. User-interface thread only.
#pragma once

#include "skin/Control.h"

#include <string>

namespace zdl {

// Size of the text buffer; the text holds at most kEditBufferSize - 2 bytes.
constexpr int kEditBufferSize = 128;
constexpr int kEditDefaultMaxLength = 126;

class CSEditBox : public CSControl {
public:
    CSEditBox();
    ~CSEditBox() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnMessage(unsigned msg, WParam wParam, LParam lParam) override; // 3
    bool OnKey(unsigned msg, WParam wParam, LParam lParam) override; // 4
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5
    bool CanFocus() override; // 6
    void OnSetFocus() override; // 7
    void SetEnabled(bool enable) override; // 13
    void SetVisible(bool show) override; // 15
    void SetTextColor(ColorRef color) override; // 17
    // Text rectangle, cell width and visible cells from layer 0's font.
    void UpdateRect() override; // 18

    // Replaces the text (null empties it) and puts the caret at its end.
    // False, with nothing changed, when it is longer than maxLength.
    bool SetText(const char* text);
    // Moves the caret to byte |position| and scrolls it into view.
    void SetCaret(int position);
    // Removes the selected bytes; the caret and anchor go to its start.
    void DeleteSelection();
    // Puts the selection on the clipboard; false when there is none or the
    // clipboard refused it.
    bool Copy();
    // Replaces the selection by the clipboard's text up to its first line
    // break. False, with text and selection unchanged, when it does not fit
    // or the clipboard cannot be read.
    bool Paste();

    bool HasSelection() const { return anchor != caret; }
    // Byte position one character left / right of |p|.
    int CharLeft(int p) const;
    int CharRight(int p) const;
    // The byte position for a point at pixel column |px| (container
    // coordinates), never inside a double-byte character.
    int PositionAt(int px) const;

    char buffer[kEditBufferSize] = {}; // GBK, NUL-terminated
    int32_t length = 0;
    int32_t maxLength = kEditDefaultMaxLength;
    int32_t visibleChars = kEditDefaultMaxLength;
    int32_t scrollPos = 0; // byte shown in the first cell
    bool firstIsTrail = false; // the first shown byte is a second half
    bool lastIsLead = false; // the last shown byte is a first half
    int32_t cellWidth = 7;
    int32_t inset = 0;
    DibRect textRect;
    uint32_t caretBlinkTime = 530;
    uint32_t lastBlink = 0;
    bool caretOn = true;
    int32_t caret = 0;
    bool insertMode = true;
    int32_t anchor = 0;
    ColorRef textColor = 0x101010;
    ColorRef selTextColor = 0xFFFFFF;
    ColorRef selBackColor = 0x5C3228;
    ColorRef caretColor = 0;
    bool dragging = false;
    // The last inserted byte was the first half of a character, so the next
    // byte is its second half.
    bool pendingLeadByte = false;
    // A first half was refused, so its second half must be dropped too.
    bool dropNextTrail = false;

private:
    // Inserts one byte at |p|; false when refused.
    bool InsertByte(int p, unsigned char c);
    // Removes the bytes [from, to).
    void RemoveBytes(int from, int to);
    void TypeByte(unsigned char c);
    void RestartBlink();
    // Draws the characters of shown[from, to) each in its cells of |area|.
    void DrawCells(DibImage* surface, FontHandle font, ColorRef color, const char* shown, int from, int to,
        const DibRect& area) const;
    void UpdateVisibleEnds();
};

} // namespace zdl

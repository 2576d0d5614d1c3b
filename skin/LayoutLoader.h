// The layout loader: builds a page's controls from its layout script.
//
// LoadLayout runs the script (LayoutScript.h), gives the panel its
// background and size, and creates one control per recognised child in
// ascending key order with ids 1, 2, 3 ... (unknown type names get no id),
// recording name -> id in the panel's controlIds. Every failure is reported
// in a message box (ShowMessageBox: no owner, OK, the captions below) and
// ends the load with false; controls created before it stay in the panel.
// User-interface thread only; uses the application's layout Lua state,
// making it when there is none yet.
#pragma once

#include "skin/BitmapDialog.h"
#include "skin/LayoutScript.h"
#include "skin/SkinTexts.h"

#include <cstddef>

namespace zdl {

// The messages (kLayout...Text) are in skin/SkinTexts.txt. The caption of
// "panel 必须有 son_list表":
extern const char kLayoutNoSonListCaption[]; // "hehe"

// Loads the script |fileName| (a loose file first, then the resource
// archive) into |panel|. True when every child was created.
bool LoadLayout(const char* fileName, CSBitmapDialog* panel);

// The same from script bytes in memory, named |fileName| in Lua's messages.
bool LoadLayoutFromBuffer(const char* fileName, const void* bytes, size_t size, CSBitmapDialog* panel);

} // namespace zdl

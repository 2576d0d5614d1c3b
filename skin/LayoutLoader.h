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

#include <cstddef>

namespace zdl {

// The messages (GBK). The first ten are the installer's own texts; the
// rest report script input that those do not cover.
extern const char kLayoutCannotOpenText[]; // "打不开指定的配置文件!~"
extern const char kLayoutCompileText[]; // "解析配置文件出错!~"
extern const char kLayoutNotTableText[]; // "配置文件函数应该返回一个表!~"
extern const char kLayoutRootTypeText[]; // "panel 类型必须为 UImage"
extern const char kLayoutNoArgText[]; // "panel 必须有 arg", caption "提示"
extern const char kLayoutNoArgCaption[];
extern const char kLayoutNoSonListText[]; // "panel 必须有 son_list表", caption "hehe"
extern const char kLayoutNoSonListCaption[];
extern const char kLayoutChildNoArgText[]; // "子控件也应该有arg表"
extern const char kLayoutBubbleImageText[]; // "打不开指定的气泡资源", caption: the file name
extern const char kLayoutButtonImageText[]; // "打不开指定的按钮资源", caption: the file name
extern const char kLayoutAnimationImageText[]; // "打不开指定的动画资源", caption: the file name
extern const char kLayoutTooLargeText[]; // "配置文件太大!~"
extern const char kLayoutPrecompiledText[]; // "配置文件不能是编译过的代码!~"
extern const char kLayoutRunErrorText[]; // "运行配置文件出错!~", then a line with Lua's message
extern const char kLayoutTooManyStepsText[]; // "配置文件运行时间过长!~"
extern const char kLayoutOutOfMemoryText[]; // "配置文件占用内存过多!~"
extern const char kLayoutChildNotTableText[]; // "子控件必须是表!~"
extern const char kLayoutTooManyChildrenText[]; // "子控件太多!~"
extern const char kLayoutBadTypeNameText[]; // "子控件的类型名必须是不超过31字节的字符串!~"
extern const char kLayoutBadNameText[]; // "子控件的名字必须是不超过31字节的字符串!~"
extern const char kLayoutBadFileNameText[]; // "子控件的图片文件名必须是不超过63字节的字符串!~"
extern const char kLayoutCreateFailedText[]; // "创建子控件失败!~"

// Loads the script |fileName| (a loose file first, then the resource
// archive) into |panel|. True when every child was created.
bool LoadLayout(const char* fileName, CSBitmapDialog* panel);

// The same from script bytes in memory, named |fileName| in Lua's messages.
bool LoadLayoutFromBuffer(const char* fileName, const void* bytes, size_t size, CSBitmapDialog* panel);

} // namespace zdl

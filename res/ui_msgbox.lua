-- A small message panel on the licence window's background: a rich-text
-- message and the two answers "continue" and "stop". Ids: text 1,
-- stop 2, continue 3. No page of the downloader loads it at present.
return {
  type_name = "UImagePanel",
  type = 0,
  name = "ui_msgbox",
  arg_name = { "x", "y", "fn", "path", "ismv", "top" },
  arg = { 0, 0, "msg_box.png", "resource", true, true },
  son_list = {
    [1] = { type_name = "URichText", type = 1, name = "text",
            arg_name = { "x", "y", "w", "h" },
            arg = { 59, 60, 383, 380 } },
    [2] = { type_name = "UImageButton", type = 1, name = "stop",
            arg_name = { "x", "y", "fn", "frame", "z" },
            arg = { 300, 452, "btn_stop.tcp", 4, 100 } },
    [3] = { type_name = "UImageButton", type = 1, name = "continue",
            arg_name = { "x", "y", "fn", "frame", "z" },
            arg = { 110, 452, "btn_continue.tcp", 4, 100 } },
  },
}

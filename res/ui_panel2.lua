-- Licence page of the licence window (488 x 510, background "msg_box.png").
-- Ids follow son_list: refuse 1, accept 2, exit 3. The title and the
-- scrolling licence text are created by the page itself.
return {
  type_name = "UImagePanel",
  type = 0,
  name = "ui_panel2",
  arg_name = { "x", "y", "fn", "path", "ismv", "top" },
  arg = { 0, 0, "msg_box.png", "resource", true, true },
  son_list = {
    [1] = { type_name = "UImageButton", type = 1, name = "refuse",
            arg_name = { "x", "y", "fn", "frame", "z" },
            arg = { 300, 452, "btn_refuse.tcp", 4, 100 } },
    [2] = { type_name = "UImageButton", type = 1, name = "accept",
            arg_name = { "x", "y", "fn", "frame", "z" },
            arg = { 120, 452, "btn_accept.tcp", 4, 100 } },
    [3] = { type_name = "UImageButton", type = 1, name = "exit",
            arg_name = { "x", "y", "fn", "frame", "z" },
            arg = { 440, 25, "btn_exit.tcp", 4, 100 } },
  },
}

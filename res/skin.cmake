# The skin: the resource archive (resource 132), the program icon (107) and
# the dialog templates, built from sources in this folder and tools/.
# Included at the top of res/CMakeLists.txt; sets
#   ZDL_ARCHIVE_FILE / ZDL_ARCHIVE_TARGET   the packed archive and its target
#   ZDL_ICON_FILE / ZDL_ICON_TARGET         the multi-size icon and its target
#   ZDL_RC_EXTRA_FILE                       dialogs.rc (UTF-8, converted to GBK)
#
# Native build: artgen draws every picture (PNG images and sprite frame
# strips), tcpenc turns the strips into ".tcp" sprites, iconv converts the
# layout scripts to GBK and the licence text to GBK with CRLF line ends, and
# qfapack packs the 42 entries, one of them ("image.dat") an archive of the
# same names. The results stay in this build folder as skin.qfa and
# zephyra.ico.
#
# Cross builds (MinGW) do not build the host tools, and a native tree may
# take the skin of another (the ThreadSanitizer tree). Configure them with
#   -DZDL_HOST_SKIN_DIR=<native build>/res
# (the top-level Makefile passes build/release/res and builds that first);
# skin.qfa and zephyra.ico are then copied from there, and the build stops
# with a message naming the missing file if the native build has not made
# them. Without ZDL_HOST_SKIN_DIR a cross build keeps the placeholders of
# res/CMakeLists.txt (an empty archive), after a warning.

set(ZDL_RC_EXTRA_FILE ${CMAKE_CURRENT_SOURCE_DIR}/dialogs.rc)
set(_skin_archive ${CMAKE_CURRENT_BINARY_DIR}/skin.qfa)
set(_skin_icon ${CMAKE_CURRENT_BINARY_DIR}/zephyra.ico)

if(CMAKE_CROSSCOMPILING OR ZDL_HOST_SKIN_DIR)
  set(ZDL_HOST_SKIN_DIR "" CACHE PATH "res/ folder of a native build that made skin.qfa and zephyra.ico")
  if(NOT ZDL_HOST_SKIN_DIR)
    message(WARNING "ZDL_HOST_SKIN_DIR is not set: zdl.exe gets an empty skin archive. "
                    "Build natively first and pass -DZDL_HOST_SKIN_DIR=<native build>/res.")
    return()
  endif()
  # Checked when building, so that configuring does not depend on the order
  # in which the native and the cross trees were set up.
  foreach(_f skin.qfa zephyra.ico)
    list(APPEND _skin_import_cmds
      COMMAND sh -c "test -f \"$0\" || (echo \"skin: $0 is missing, build the native tree that ZDL_HOST_SKIN_DIR names first\" >&2 && false)"
              ${ZDL_HOST_SKIN_DIR}/${_f}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZDL_HOST_SKIN_DIR}/${_f} ${CMAKE_CURRENT_BINARY_DIR}/${_f})
  endforeach()
  add_custom_target(zdl_skin_import ${_skin_import_cmds}
    BYPRODUCTS ${_skin_archive} ${_skin_icon} VERBATIM)
  set(ZDL_ARCHIVE_FILE ${_skin_archive})
  set(ZDL_ARCHIVE_TARGET zdl_skin_import)
  set(ZDL_ICON_FILE ${_skin_icon})
  set(ZDL_ICON_TARGET zdl_skin_import)
  return()
endif()

if(NOT TARGET artgen OR NOT TARGET tcpenc OR NOT TARGET qfapack)
  message(WARNING "skin: artgen, tcpenc or qfapack is missing; zdl gets an empty skin archive")
  return()
endif()

set(_art ${CMAKE_CURRENT_BINARY_DIR}/skin/art)    # artgen's output
set(_pack ${CMAKE_CURRENT_BINARY_DIR}/skin/pack)  # files converted for packing
file(MAKE_DIRECTORY ${_pack})

# Pictures, sprite strips and the icon.
set(ZDL_SKIN_PNGS banner bg char edit_bg loading_num_0 loading_num_1 loading_num_2
    loading_num_3 loading_num_4 loading_num_5 loading_num_6 loading_num_7 loading_num_8
    loading_num_9 logo msg_box percent_num progress save scroll web_bg)
# Sprites as name:frames:pressed-frame (the pressed look's key point is
# (-1, -1), so it is drawn one pixel right and down; "-" for none).
set(ZDL_SKIN_SPRITES
    btn_accept:4:2 btn_age:1:- btn_choose:4:2 btn_continue:4:2 btn_down:4:2 btn_exit:4:2
    btn_finish:4:2 btn_install:4:2 btn_min:4:2 btn_refuse:4:2 btn_set:4:2 btn_stop:4:2
    btn_thumb:4:2 btn_up:4:2 check_btn:2:- progress_head:15:-)
set(ZDL_SKIN_SCRIPTS ui_msgbox ui_panel1 ui_panel2)

set(_art_outputs ${_art}/zephyra.ico)
foreach(_n ${ZDL_SKIN_PNGS})
  list(APPEND _art_outputs ${_art}/png/${_n}.png)
endforeach()
foreach(_s ${ZDL_SKIN_SPRITES})
  string(REPLACE ":" ";" _parts ${_s})
  list(GET _parts 0 _n)
  list(APPEND _art_outputs ${_art}/frames/${_n}.png)
endforeach()
add_custom_command(OUTPUT ${_art_outputs}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:artgen> ${_art}
  DEPENDS artgen
  COMMENT "Drawing the skin's pictures" VERBATIM)
add_custom_command(OUTPUT ${_skin_icon}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_art}/zephyra.ico ${_skin_icon}
  DEPENDS ${_art}/zephyra.ico VERBATIM)

# Every entry but "image.dat" and the licence text, which are added by name.
set(_entries)
foreach(_n ${ZDL_SKIN_PNGS})
  list(APPEND _entries ${_art}/png/${_n}.png)
endforeach()
foreach(_s ${ZDL_SKIN_SPRITES})
  string(REPLACE ":" ";" _parts ${_s})
  list(GET _parts 0 _n)
  list(GET _parts 1 _frames)
  list(GET _parts 2 _pressed)
  set(_key)
  if(NOT _pressed STREQUAL "-")
    set(_key --keypoint ${_pressed}:-1,-1)
  endif()
  add_custom_command(OUTPUT ${_pack}/${_n}.tcp
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:tcpenc> --frames ${_frames} ${_key} ${_art}/frames/${_n}.png ${_pack}/${_n}.tcp
    DEPENDS tcpenc ${_art}/frames/${_n}.png VERBATIM)
  list(APPEND _entries ${_pack}/${_n}.tcp)
endforeach()
foreach(_n ${ZDL_SKIN_SCRIPTS})
  add_custom_command(OUTPUT ${_pack}/${_n}.lua
    COMMAND sh -c "iconv -f UTF-8 -t GBK \"$0\" > \"$1\"" ${CMAKE_CURRENT_SOURCE_DIR}/${_n}.lua ${_pack}/${_n}.lua
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${_n}.lua VERBATIM)
  list(APPEND _entries ${_pack}/${_n}.lua)
endforeach()

# The licence text: GBK with CRLF line ends.
set(_licence ${_pack}/licence.gbk.txt)
add_custom_command(OUTPUT ${_licence}
  COMMAND sh -c "sed -e 's/\\r$//' -e 's/$/\\r/' \"$0\" | iconv -f UTF-8 -t GBK > \"$1\""
          ${CMAKE_CURRENT_SOURCE_DIR}/licence.txt ${_licence}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/licence.txt VERBATIM)

# The licence's entry name is "安装包_最终用户许可.txt" in GBK bytes. Those
# bytes are not valid UTF-8, so they never pass through CMake or Ninja: a
# small script spells them with printf escapes.
#   pack.sh QFAPACK OUT IMAGE_DAT LICENCE FILE...
set(_pack_script ${CMAKE_CURRENT_BINARY_DIR}/skin/pack.sh)
file(WRITE ${_pack_script}
  "#!/bin/sh\n"
  "# Generated by res/skin.cmake: packs the skin archive.\n"
  "set -e\n"
  "tool=$1; out=$2; image=$3; licence=$4; shift 4\n"
  "name=$(printf '\\260\\262\\327\\260\\260\\374_\\327\\356\\326\\325\\323\\303\\273\\247\\320\\355\\277\\311.txt')\n"
  "exec \"$tool\" \"$out\" --as image.dat \"$image\" --as \"$name\" \"$licence\" \"$@\"\n")

# "image.dat" is an archive of the same 42 names whose own "image.dat" is an
# empty archive; the outer archive then holds that one.
set(_empty ${_pack}/empty.qfa)
set(_inner ${_pack}/image.dat)
add_custom_command(OUTPUT ${_empty}
  COMMAND printf "QFA\\000\\000\\000\\000\\000" > ${_empty} VERBATIM)
add_custom_command(OUTPUT ${_inner}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          sh ${_pack_script} $<TARGET_FILE:qfapack> ${_inner} ${_empty} ${_licence} ${_entries}
  DEPENDS qfapack ${_pack_script} ${_empty} ${_licence} ${_entries}
  COMMENT "Packing the nested skin archive image.dat" VERBATIM)
add_custom_command(OUTPUT ${_skin_archive}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          sh ${_pack_script} $<TARGET_FILE:qfapack> ${_skin_archive} ${_inner} ${_licence} ${_entries}
  DEPENDS qfapack ${_pack_script} ${_inner} ${_licence} ${_entries}
  COMMENT "Packing the skin archive" VERBATIM)
add_custom_target(zdl_skin_archive ALL DEPENDS ${_skin_archive} ${_skin_icon})

set(ZDL_ARCHIVE_FILE ${_skin_archive})
set(ZDL_ARCHIVE_TARGET zdl_skin_archive)
set(ZDL_ICON_FILE ${_skin_icon})
set(ZDL_ICON_TARGET zdl_skin_archive)
# For the skin tests and the contact sheet.
set(ZDL_SKIN_ARCHIVE ${_skin_archive} CACHE INTERNAL "The packed skin archive")
set(ZDL_SKIN_ART_DIR ${_art} CACHE INTERNAL "artgen's output folder")
set(ZDL_SKIN_ICON ${_skin_icon} CACHE INTERNAL "The program icon")

# The contact sheet of the packed archive (tools/contactsheet).
if(TARGET contactsheet)
  set(ZDL_SKIN_SHEET ${CMAKE_BINARY_DIR}/skin-contact-sheet.png CACHE INTERNAL "The skin's contact sheet")
  add_custom_command(OUTPUT ${ZDL_SKIN_SHEET}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:contactsheet> ${_skin_archive} ${ZDL_SKIN_SHEET}
    DEPENDS contactsheet ${_skin_archive}
    COMMENT "Drawing the skin's contact sheet" VERBATIM)
  add_custom_target(zdl_skin_sheet ALL DEPENDS ${ZDL_SKIN_SHEET})
endif()

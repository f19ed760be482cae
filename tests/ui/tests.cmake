# Screens in an offscreen window, over a store against the fake server.
function(mavu_add_ui_test name)
  mavu_add_test(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE mavu_ui mavu_uiplugin)
endfunction()

mavu_add_ui_test(tst_checkview ui/tst_checkview.cpp)
mavu_add_ui_test(tst_homeview ui/tst_homeview.cpp)
mavu_add_ui_test(tst_playerscreen ui/tst_playerscreen.cpp)
target_link_libraries(tst_playerscreen PRIVATE mavu_player_test_support)

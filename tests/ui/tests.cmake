# Screens in an offscreen window, over a store against the fake server.
function(mavu_add_ui_test name)
  mavu_add_test(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE mavu_ui mavu_uiplugin)
endfunction()

mavu_add_ui_test(tst_checkview ui/tst_checkview.cpp)
mavu_add_ui_test(tst_homeview ui/tst_homeview.cpp)
mavu_add_ui_test(tst_guideview ui/tst_guideview.cpp)
target_link_libraries(tst_guideview PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_playerscreen ui/tst_playerscreen.cpp)
target_link_libraries(tst_playerscreen PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_uirules ui/tst_uirules.cpp)
mavu_add_ui_test(tst_playershortcuts ui/tst_playershortcuts.cpp)
mavu_add_ui_test(tst_settingsrules ui/tst_settingsrules.cpp)
mavu_add_ui_test(tst_settingssheet ui/tst_settingssheet.cpp)
mavu_add_ui_test(tst_browserules ui/tst_browserules.cpp)
mavu_add_ui_test(tst_sectionview ui/tst_sectionview.cpp)
target_link_libraries(tst_sectionview PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_liverules ui/tst_liverules.cpp)
mavu_add_ui_test(tst_liveview ui/tst_liveview.cpp)
target_link_libraries(tst_liveview PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_contentview ui/tst_contentview.cpp)
target_link_libraries(tst_contentview PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_detailrules ui/tst_detailrules.cpp)
mavu_add_ui_test(tst_detailscreen ui/tst_detailscreen.cpp)
mavu_add_ui_test(tst_failurepanels ui/tst_failurepanels.cpp)
target_link_libraries(tst_failurepanels PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_resume ui/tst_resume.cpp)
target_link_libraries(tst_resume PRIVATE mavu_player_test_support)
mavu_add_ui_test(tst_continuerow ui/tst_continuerow.cpp)

# qmllint over every QML file of the screens' module (Qt's own lint targets, with the module's
# import paths); any warning fails.
add_test(NAME qmllint COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target all_qmllint)
set_tests_properties(qmllint PROPERTIES TIMEOUT 300)

# Screens show provider and device-service text through PlainText only, never a bare Text that
# would read it as markup.
add_test(NAME qml_plain_text
  COMMAND ${CMAKE_COMMAND} -DQML_DIR=${PROJECT_SOURCE_DIR}/src -P ${CMAKE_CURRENT_LIST_DIR}/plaintext.cmake)
mavu_add_ui_test(tst_librarysearch ui/tst_librarysearch.cpp)
target_link_libraries(tst_librarysearch PRIVATE mavu_player_test_support)

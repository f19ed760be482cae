# The player's own code against an in-process mavu-lab, over loopback.
mavu_add_test(tst_endtoend e2e/tst_endtoend.cpp)
target_link_libraries(tst_endtoend PRIVATE mavu_lab)
mavu_add_test(tst_endtoend_playback e2e/tst_endtoend_playback.cpp)
target_link_libraries(tst_endtoend_playback PRIVATE mavu_lab mavu_player_test_support)
add_dependencies(tst_endtoend mavu_lab_media)
add_dependencies(tst_endtoend_playback mavu_lab_media)
mavu_add_test(tst_endtoend_guide e2e/tst_endtoend_guide.cpp)

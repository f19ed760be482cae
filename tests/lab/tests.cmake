# mavu-lab: its pieces alone, and the whole lab answering the player's own requests.
mavu_add_test(tst_labwire lab/tst_labwire.cpp)
mavu_add_test(tst_labcatalogue lab/tst_labcatalogue.cpp)
mavu_add_test(tst_labserver lab/tst_labserver.cpp)
# Both read the media the build makes with ffmpeg.
add_dependencies(tst_labwire mavu_lab_media)
add_dependencies(tst_labserver mavu_lab_media)
mavu_add_test(tst_labxmltv lab/tst_labxmltv.cpp)

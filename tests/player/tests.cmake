# Playback tests (real libVLC, media made by ffmpeg at build time).
find_program(MAVU_FFMPEG ffmpeg REQUIRED)

# Test media, never committed: six seconds of H.264 + two AAC tracks (English 440 Hz, German 880 Hz)
# + one DVB subtitle track as MPEG-TS; the same as MP4 (with a text subtitle track) and as an HLS
# playlist; and six seconds of anamorphic video (240 x 180 with 4:3 pixels, shown at 16:9).
add_executable(mavu_make_subtitles player/makesubtitles.cpp)
target_link_libraries(mavu_make_subtitles PRIVATE mavu_test_warnings)

set(MAVU_TEST_MEDIA ${CMAKE_CURRENT_BINARY_DIR}/media)
file(WRITE ${MAVU_TEST_MEDIA}/subtitles.srt
  "1\n00:00:00,500 --> 00:00:02,000\nFirst line\n\n2\n00:00:02,500 --> 00:00:03,500\nSecond line\n")
set(ffmpeg ${MAVU_FFMPEG} -nostdin -hide_banner -loglevel error -y)
set(video -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p)
add_custom_command(
  OUTPUT ${MAVU_TEST_MEDIA}/clip.ts ${MAVU_TEST_MEDIA}/clip.mp4 ${MAVU_TEST_MEDIA}/hls/index.m3u8
         ${MAVU_TEST_MEDIA}/anamorphic.ts
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MAVU_TEST_MEDIA}/hls
  COMMAND mavu_make_subtitles ${MAVU_TEST_MEDIA}/subtitles.sup 320 180
  COMMAND ${ffmpeg}
    -f lavfi -i testsrc2=size=320x180:rate=25
    -f lavfi -i sine=frequency=440:sample_rate=48000
    -f lavfi -i sine=frequency=880:sample_rate=48000
    -i ${MAVU_TEST_MEDIA}/subtitles.sup
    -t 6 -map 0:v -map 1:a -map 2:a -map 3:s ${video} -c:a aac -b:a 64k -c:s dvbsub
    -metadata:s:a:0 language=eng -metadata:s:a:1 language=deu -metadata:s:s:0 language=eng
    -f mpegts ${MAVU_TEST_MEDIA}/clip.ts
  COMMAND ${ffmpeg} -i ${MAVU_TEST_MEDIA}/clip.ts -i ${MAVU_TEST_MEDIA}/subtitles.srt
    -map 0:v -map 0:a -map 1:s -c:v copy -c:a copy -c:s mov_text -metadata:s:s:0 language=eng
    -movflags +faststart ${MAVU_TEST_MEDIA}/clip.mp4
  COMMAND ${ffmpeg} -i ${MAVU_TEST_MEDIA}/clip.ts -map 0:v -map 0:a -c copy
    -f hls -hls_time 2 -hls_list_size 0 -hls_playlist_type vod
    -hls_segment_filename ${MAVU_TEST_MEDIA}/hls/segment%d.ts ${MAVU_TEST_MEDIA}/hls/index.m3u8
  COMMAND ${ffmpeg} -f lavfi -i testsrc2=size=240x180:rate=25,setsar=4/3 -t 6 ${video}
    -f mpegts ${MAVU_TEST_MEDIA}/anamorphic.ts
  DEPENDS mavu_make_subtitles
  COMMENT "Making the playback test media with ffmpeg"
  VERBATIM)
add_custom_target(mavu_test_media DEPENDS ${MAVU_TEST_MEDIA}/clip.ts ${MAVU_TEST_MEDIA}/clip.mp4
  ${MAVU_TEST_MEDIA}/hls/index.m3u8 ${MAVU_TEST_MEDIA}/anamorphic.ts)

add_library(mavu_player_test_support STATIC player/fakemediaplayer.h player/testmedia.h player/testmedia.cpp)
target_include_directories(mavu_player_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/player)
target_compile_definitions(mavu_player_test_support PRIVATE MAVU_TEST_MEDIA="${MAVU_TEST_MEDIA}")
target_link_libraries(mavu_player_test_support PUBLIC mavu_test_support PRIVATE mavu_test_warnings)
add_dependencies(mavu_player_test_support mavu_test_media)

# libVLC's HLS plugin frees with free() some memory it made with new; that is not ours to mend,
# and this libasan cannot suppress that report by library, so suites that play through libVLC
# (here and in e2e/) turn that one check off. The other options are the asan preset's.
set(MAVU_PLAYER_ASAN_OPTIONS
  "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:detect_stack_use_after_return=0:check_initialization_order=1:alloc_dealloc_mismatch=0")

function(mavu_add_player_test name)
  mavu_add_test(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE mavu_player_test_support)
  if(MAVU_SANITIZE)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "${MAVU_PLAYER_ASAN_OPTIONS}")
  endif()
endfunction()

mavu_add_test(tst_playbackrecovery player/tst_playbackrecovery.cpp)
mavu_add_player_test(tst_playercontroller player/tst_playercontroller.cpp)
mavu_add_player_test(tst_vlcplayerview player/tst_vlcplayerview.cpp)
mavu_add_player_test(tst_playback player/tst_playback.cpp)
mavu_endtoend(tst_vlcplayerview)
mavu_endtoend(tst_playback)

# The surfaces under the software scene graph (what an offscreen test run has) and, where a virtual
# X server is at hand, under the default one (OpenGL).
mavu_add_player_test(tst_videosurface player/tst_videosurface.cpp)
target_link_libraries(tst_videosurface PRIVATE mavu_coreplugin)
set_property(TEST tst_videosurface APPEND PROPERTY ENVIRONMENT "QT_QUICK_BACKEND=software")
mavu_endtoend(tst_videosurface)
find_program(MAVU_XVFB_RUN xvfb-run)
if(MAVU_XVFB_RUN)
  add_test(NAME tst_videosurface_opengl
    COMMAND ${MAVU_XVFB_RUN} -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:tst_videosurface>)
  set_tests_properties(tst_videosurface_opengl PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;QT_FORCE_STDERR_LOGGING=1;${MAVU_PLAYER_ASAN_OPTIONS}" TIMEOUT 300
    RESOURCE_LOCK xvfb) # two xvfb-run -a starting at once may pick the same display
  mavu_endtoend(tst_videosurface_opengl tst_videosurface)
endif()

# The program on the Linux desktop: the media session, MPRIS and the screen saver over a private
# session bus, with lab streams playing through libVLC.
mavu_add_test(tst_mediasession desktop/tst_mediasession.cpp store/storefixture.h)
target_link_libraries(tst_mediasession PRIVATE mavu_desktop mavu_player_test_support)

find_program(MAVU_DBUS_DAEMON dbus-daemon)
if(MAVU_DBUS_DAEMON)
  mavu_add_player_test(tst_desktopbus desktop/tst_desktopbus.cpp desktop/busfixture.h)
  target_link_libraries(tst_desktopbus PRIVATE mavu_desktop mavu_lab)
  add_dependencies(tst_desktopbus mavu_lab_media)
else()
  message(WARNING "dbus-daemon not found: the desktop bus tests are left out (scripts/install-deps.sh installs it)")
endif()

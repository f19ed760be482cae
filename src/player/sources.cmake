# PlayerController, the video surfaces and the thin libVLC layer.
target_sources(mavu_core PRIVATE
  player/guithread.h
  player/vlcinstance.h player/vlcinstance.cpp
  player/streamheaders.h player/streamheaders.cpp
  player/mediaplayer.h
  player/vlcmediaplayer.h player/vlcmediaplayer.cpp
  player/videoframesink.h player/videoframesink.cpp
  player/videosurface.h player/videosurface.cpp
  player/playbackrecovery.h player/playbackrecovery.cpp
  player/playbacksupervisor.h player/playbacksupervisor.cpp
  player/connectionlimit.h player/connectionlimit.cpp
  player/playercontroller.h player/playercontroller.cpp
  player/controlledvideoview.h player/controlledvideoview.cpp
  player/vlcplayerview.h player/vlcplayerview.cpp
)
# The QML type registrations name these headers without their folder.
target_include_directories(mavu_core PRIVATE ${CMAKE_CURRENT_LIST_DIR})

target_sources(mavu_core PRIVATE
  model/enums.h model/enums.cpp
  model/playlist.h model/playlist.cpp
  model/records.h model/records.cpp
  model/urltext.h model/urltext.cpp
)

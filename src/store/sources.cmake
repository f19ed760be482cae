target_sources(mavu_core PRIVATE
  store/preferences.h store/preferences.cpp
)

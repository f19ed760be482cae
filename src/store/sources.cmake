target_sources(mavu_core PRIVATE
  store/preferences.h store/preferences.cpp
  store/catalogue.h store/catalogue.cpp
  store/catchuptext.h store/catchuptext.cpp
  store/listmodels.h store/listmodels.cpp
  store/wordtable.h store/wordtable.cpp
  store/failures.h store/failures.cpp
  store/cataloguedownloads.h store/cataloguedownloads.cpp
  store/m3usource.h store/m3usource.cpp
  store/cataloguecache.h store/cataloguecache.cpp
  store/ownerfile.h store/ownerfile.cpp
  store/librarysearch.h store/librarysearch.cpp
  store/appstore.h store/appstore_p.h store/emission.h
  store/appstore.cpp
  store/appstore_browse.cpp
  store/appstore_playback.cpp
  store/appstore_catchup.cpp
  store/appstore_preferences.cpp
  store/appstore_guide.cpp
  store/appstore_cataloguecache.cpp
  store/appstore_positions.cpp
  store/appstore_m3u.cpp
  store/watchpositions.h store/watchpositions.cpp
  store/guideprogram.h store/guideprogram.cpp
  store/guidedatabase.h store/guidedatabase.cpp
  store/guideimportjob.h store/guideimportjob.cpp
  store/guidegridrules.h store/guidegridrules.cpp
  store/guidegridmodel.h store/guidegridmodel.cpp
  store/programguide.h store/programguide.cpp
)

target_sources(mavu_core PRIVATE
  api/diagnostics.h api/diagnostics.cpp
  api/jsonread.h api/jsonread.cpp
  api/jsondocument.h api/jsondocument.cpp
  api/failure.h api/failure.cpp
  api/network.h api/network.cpp
  api/decoders.h api/decoders.cpp
  api/mavuapi.h api/mavuapi.cpp
  api/streamaddress.h api/streamaddress.cpp
  api/xmltvreader.h api/xmltvreader.cpp
  api/gzipstream.h api/gzipstream.cpp
  api/hugepages.h api/hugepages.cpp
  api/useragent.h api/useragent.cpp
  api/m3ureader.h api/m3ureader.cpp
)
# Only this file knows the version: a new one rebuilds nothing else.
set_source_files_properties(api/useragent.cpp PROPERTIES COMPILE_DEFINITIONS MAVU_VERSION="${PROJECT_VERSION}")

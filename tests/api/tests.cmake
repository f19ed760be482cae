mavu_add_test(tst_jsonread api/tst_jsonread.cpp)
mavu_add_test(tst_api api/tst_api.cpp)
mavu_add_test(tst_deviceservice api/tst_deviceservice.cpp)
mavu_add_test(tst_diagnostics api/tst_diagnostics.cpp)
# The client's limits against the lab's faults.
mavu_add_test(tst_network api/tst_network.cpp)
target_link_libraries(tst_network PRIVATE mavu_lab)
mavu_add_test(tst_xmltvreader api/tst_xmltvreader.cpp)
target_link_libraries(tst_xmltvreader PRIVATE ZLIB::ZLIB)

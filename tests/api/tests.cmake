mavu_add_test(tst_jsonread api/tst_jsonread.cpp)
mavu_add_test(tst_api api/tst_api.cpp)
mavu_add_test(tst_deviceservice api/tst_deviceservice.cpp)
mavu_add_test(tst_diagnostics api/tst_diagnostics.cpp)

mavu_add_test(tst_preferences store/tst_preferences.cpp)

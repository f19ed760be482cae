mavu_add_test(tst_model model/tst_model.cpp)

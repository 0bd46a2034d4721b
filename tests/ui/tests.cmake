hwt_add_test(tst_panels SOURCES ui/tst_panels.cpp ui/uitestsupport.h LIBRARIES hwt_ui hwt_resources)
hwt_add_test(tst_mainwindow SOURCES ui/tst_mainwindow.cpp ui/uitestsupport.h LIBRARIES hwt_ui hwt_resources)

# The parameter panels: the tool-library widgets they are built on, and the
# panel with its editors working on a real document.
hwt_add_test(tst_biteditor SOURCES panels/tst_biteditor.cpp LIBRARIES hwt_widgets)
hwt_add_test(tst_parameterpanel SOURCES panels/tst_parameterpanel.cpp LIBRARIES hwt_ui hwt_resources)

# The shape editor: scene, shapes and handles, driven through the editor widget.
hwt_add_test(tst_shapeeditor SOURCES editor/tst_shapeeditor.cpp LIBRARIES hwt_editor hwt_resources)
hwt_add_test(tst_editorlifetime SOURCES editor/tst_editorlifetime.cpp LIBRARIES hwt_editor hwt_resources)

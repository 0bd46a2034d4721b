# The update checker, the feedback dialog and the crash reports. The release
# notes' web view is a module the editor loads on demand; its test reads it directly.
find_package(Qt5 5.15 REQUIRED COMPONENTS WebKitWidgets)
hwt_add_test(tst_updater SOURCES updater/tst_updater.cpp LIBRARIES hwt_updater hwt_resources Qt5::WebKitWidgets)
hwt_add_test(tst_feedback SOURCES updater/tst_feedback.cpp LIBRARIES hwt_feedback Qt5::Xml)
hwt_add_test(tst_updatestartup SOURCES updater/tst_updatestartup.cpp LIBRARIES hwt_app hwt_resources)

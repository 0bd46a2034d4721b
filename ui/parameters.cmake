# The parameter panels and their editors, one per parameter type.
target_sources(hwt_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/genericbitfield.h ${CMAKE_CURRENT_LIST_DIR}/genericbitfield.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericcheckbox.h ${CMAKE_CURRENT_LIST_DIR}/genericcheckbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericdoublespinbox.h ${CMAKE_CURRENT_LIST_DIR}/genericdoublespinbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericlineedit.h ${CMAKE_CURRENT_LIST_DIR}/genericlineedit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericparameterhelper.h ${CMAKE_CURRENT_LIST_DIR}/genericparameterhelper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericsettingsfield.h ${CMAKE_CURRENT_LIST_DIR}/genericsettingsfield.cpp
  ${CMAKE_CURRENT_LIST_DIR}/genericspinbox.h ${CMAKE_CURRENT_LIST_DIR}/genericspinbox.cpp
)

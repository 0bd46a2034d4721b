# The platform layers of the shell integration. The registration and request
# logic builds everywhere (and is tested everywhere); only the thin layer over
# the operating system's calls is built for its own platform.
target_sources(hwt_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/platformaddons.h ${CMAKE_CURRENT_LIST_DIR}/platformaddons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ddeshellplatform.h
  ${CMAKE_CURRENT_LIST_DIR}/ddeshellintegration.h ${CMAKE_CURRENT_LIST_DIR}/ddeshellintegration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shellrequestchannel.h ${CMAKE_CURRENT_LIST_DIR}/shellrequestchannel.cpp
)
# The request channel is a local socket.
target_link_libraries(hwt_core PUBLIC Qt5::Network)

if(WIN32)
  target_sources(hwt_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/gapplicationaddonsimplwin.h ${CMAKE_CURRENT_LIST_DIR}/gapplicationaddonsimplwin.cpp
  )
  # The hidden message window that sends the exchange's replies is a widget.
  target_link_libraries(hwt_core PUBLIC Qt5::Widgets)
elseif(UNIX AND NOT APPLE)
  target_sources(hwt_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/gapplicationaddonsimplxdg.h ${CMAKE_CURRENT_LIST_DIR}/gapplicationaddonsimplxdg.cpp
  )
endif()

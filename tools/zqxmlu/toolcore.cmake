# The tool without its main(): a static library that the zqxmlu program and the fuzz target link.
if(NOT TARGET zqxmlu_toolcore)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    zq_host_headers(CLI11::CLI11 CLI)
  else()
    find_package(CLI11 CONFIG REQUIRED)
  endif()
  file(GLOB ZQ_TOOLCORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  list(REMOVE_ITEM ZQ_TOOLCORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  add_library(zqxmlu_toolcore STATIC ${ZQ_TOOLCORE_SOURCES}
    ${PROJECT_SOURCE_DIR}/src/platform/console.cpp)
  target_include_directories(zqxmlu_toolcore PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(zqxmlu_toolcore PUBLIC zqxmlu_internal CLI11::CLI11)
  if(WIN32)
    target_link_libraries(zqxmlu_toolcore PUBLIC shell32)  # the wide command line
  endif()
  zq_warnings(zqxmlu_toolcore)
endif()

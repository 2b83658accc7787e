# The chat.db builders of tests/support, free of the test framework, so that the demo home and the
# benchmarks can use them as well as the tests.
set(NUDGERLY_CHAT_FIXTURE_SOURCES
  ChatDatabase.cpp TypedStreamWriter.cpp KeyedArchiveWriter.cpp ImageHeaders.cpp PngImage.cpp
  VCardWriter.cpp MessagesDatabaseBuilder.cpp MessagesBulkGenerator.cpp DemoShowcase.cpp DemoHome.cpp
  DemoQueue.cpp)
list(TRANSFORM NUDGERLY_CHAT_FIXTURE_SOURCES PREPEND "${CMAKE_CURRENT_LIST_DIR}/")
if(NOT TARGET nudgerly_chat_fixtures)
  add_library(nudgerly_chat_fixtures STATIC ${NUDGERLY_CHAT_FIXTURE_SOURCES})
  target_include_directories(nudgerly_chat_fixtures PUBLIC "${CMAKE_CURRENT_LIST_DIR}/..")
  target_link_libraries(nudgerly_chat_fixtures PUBLIC nudgerly_core)
endif()

# The download window as a library of its own, with its Qt test, for a tree
# where the program's window library does not exist yet. Where it does, that
# library takes downloadwindow.cpp in with the other windows and links
# quorlin_download; this file then only adds the test.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

if(NOT TARGET quorlin_gui)
  add_library(quorlin_downloadwindow STATIC ${CMAKE_SOURCE_DIR}/app/gui/downloadwindow.cpp)
  target_link_libraries(quorlin_downloadwindow PUBLIC quorlin_download quorlin_app Qt6::Widgets)
  set(quorlin_downloadwindow_lib quorlin_downloadwindow)
else()
  target_link_libraries(quorlin_gui PUBLIC quorlin_download)
  set(quorlin_downloadwindow_lib quorlin_gui)
endif()

if(QUORLIN_BUILD_TESTS)
  add_executable(downloadwindow_qtest ${CMAKE_SOURCE_DIR}/tests/download/downloadwindow_qtest.cpp
                                      ${CMAKE_SOURCE_DIR}/tests/test_support.cpp)
  set_target_properties(downloadwindow_qtest PROPERTIES AUTOMOC ON)
  target_include_directories(downloadwindow_qtest PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(downloadwindow_qtest PRIVATE ${quorlin_downloadwindow_lib} Qt6::Test)
  enable_testing()
  add_test(NAME DownloadWindow COMMAND downloadwindow_qtest)
  set_tests_properties(DownloadWindow PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                                 LABELS "download;gui" TIMEOUT 120)
endif()

# Test console: line formatting and the test datagram (no window), the page against a real
# endpoint on the loopback, and the sender's site defaults inside the lab namespace.
add_project_test(test_console_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_console_logic.cpp
  LIBS console LABELS console)
add_project_test(test_console_page GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_console_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_fixture.h LIBS console LABELS console)
add_project_test(test_console_lab GUI LAB SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_console_lab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_fixture.h LIBS console LABELS console)

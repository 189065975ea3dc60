# Server address page: packet, texts, update log writer and the page itself.
add_project_test(test_server_packet SOURCES test_server_packet.cpp LIBS config LABELS config)
add_project_test(test_ini_log SOURCES test_ini_patch.cpp test_ini_write.cpp LIBS config
  LABELS config)
add_project_test(test_server_page GUI SOURCES test_server_page.cpp LIBS config LABELS config)
# Presses the update button with the page's site addresses: only inside the lab namespace.
add_project_test(test_server_lab GUI LAB SOURCES test_server_lab.cpp LIBS config LABELS config)

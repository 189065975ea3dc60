# Parameter page and parameter download command.
add_project_test(test_param_packet SOURCES test_param_packet.cpp LIBS config)
add_project_test(test_param_page SOURCES test_param_page.cpp LIBS config GUI TIMEOUT 120)

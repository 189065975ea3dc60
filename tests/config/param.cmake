# Parameter page and parameter download command.
add_project_test(test_param_packet SOURCES test_param_packet.cpp LIBS config)
add_project_test(test_param_page SOURCES test_param_page.cpp LIBS config GUI TIMEOUT 120)
# Sends with the designed fields, to 192.168.1.200: only inside the lab namespace.
add_project_test(test_param_lab SOURCES test_param_lab.cpp LIBS config GUI LAB TIMEOUT 60)

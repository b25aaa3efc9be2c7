# The desktop menu entry and the icon of the program.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/vireluz.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/vireluz.svg DESTINATION share/icons/hicolor/scalable/apps)

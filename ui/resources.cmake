# The pictures of the window, compiled in without compression.
target_sources(velmora_window PRIVATE ${CMAKE_CURRENT_LIST_DIR}/resources.qrc)

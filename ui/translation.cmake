# Puts the Italian translation beside the program when VELMORA_ITALIAN is ON, and keeps it away when OFF.
# Included by the top-level CMakeLists.txt once the program's target exists.
add_dependencies(velmora-flat velmora_translation)

set(VELMORA_ITALIAN_BESIDE_PROGRAM $<TARGET_FILE_DIR:velmora-flat>/velmoralang_it.qm)
if(VELMORA_ITALIAN)
    set(place_translation ${CMAKE_COMMAND} -E copy_if_different ${VELMORA_ITALIAN_QM} ${VELMORA_ITALIAN_BESIDE_PROGRAM})
    install(FILES ${VELMORA_ITALIAN_QM} DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
    # A copy left by an earlier build with the option ON would still switch the program to Italian.
    set(place_translation ${CMAKE_COMMAND} -E rm -f ${VELMORA_ITALIAN_BESIDE_PROGRAM})
endif()
# Runs on every build, so the file beside the program follows both the option and the translation source.
add_custom_target(velmora_translation_placement ALL COMMAND ${place_translation} VERBATIM)
add_dependencies(velmora_translation_placement velmora-flat velmora_translation)

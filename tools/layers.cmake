# The layer check: the box's controller, the device and table libraries, the Alpaca server and the server without a
# window use Qt Core (and Network), never Qt Widgets. Their targets do not link Widgets, and before each is built
# tools/checklayers.cmake refuses any of their files that includes a header of Qt Widgets (by its name, as
# <QWidget>, <qwidget.h> or <QtWidgets/...>): Qt's own include folder would otherwise still find it.

# Every header name that Qt Widgets installs, once, at configure time.
get_target_property(VELMORA_WIDGETS_INCLUDES Qt5::Widgets INTERFACE_INCLUDE_DIRECTORIES)
set(VELMORA_WIDGETS_HEADERS "")
foreach(folder ${VELMORA_WIDGETS_INCLUDES})
    if(folder MATCHES "QtWidgets$" AND IS_DIRECTORY ${folder})
        file(GLOB names RELATIVE ${folder} ${folder}/*)
        list(APPEND VELMORA_WIDGETS_HEADERS ${names})
    endif()
endforeach()
set(VELMORA_WIDGETS_HEADER_LIST ${CMAKE_BINARY_DIR}/layers/widgets-headers.txt)
list(JOIN VELMORA_WIDGETS_HEADERS "\n" widgetsHeaderText)
file(WRITE ${VELMORA_WIDGETS_HEADER_LIST} "${widgetsHeaderText}\n")

# velmora_check_layers(<target> <glob relative to the source folder>...): the target is built only once its files
# include no Qt Widgets header.
function(velmora_check_layers target)
    set(files "")
    foreach(pattern ${ARGN})
        file(GLOB matched CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${pattern})
        list(APPEND files ${matched})
    endforeach()
    set(stamp ${CMAKE_BINARY_DIR}/layers/${target}.checked)
    list(JOIN files "|" fileList)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} "-DFILES=${fileList}" -DWIDGETS_HEADERS=${VELMORA_WIDGETS_HEADER_LIST}
                -DLAYER=${target} -P ${PROJECT_SOURCE_DIR}/tools/checklayers.cmake
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${files} ${PROJECT_SOURCE_DIR}/tools/checklayers.cmake
        COMMENT "Checking that ${target} includes no Qt Widgets header"
        VERBATIM)
    add_custom_target(${target}_layer_check DEPENDS ${stamp})
    add_dependencies(${target} ${target}_layer_check)
endfunction()

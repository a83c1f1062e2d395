# The portable folder (build-windows/dist) and the installer (build-windows/velmora-flat-<version>-x64-setup.exe):
#   cmake --build build-windows --target velmora_windows_dist velmora_windows_installer
# The folder holds the program, the device library, the Qt and MinGW DLLs it loads, the windows platform plugin,
# the WindowsVista style and the Italian translation. The pictures are PNG, which QtGui reads itself: no image
# format plugin is needed.
set(VELMORA_WINDOWS_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(VELMORA_DIST_DIR ${PROJECT_BINARY_DIR}/dist)
set(VELMORA_QT_BIN ${VELMORA_MINGW_QT}/bin)
set(VELMORA_QT_PLUGINS ${VELMORA_MINGW_QT}/plugins)

set(VELMORA_DIST_DLLS
    ${VELMORA_QT_BIN}/Qt5Core.dll ${VELMORA_QT_BIN}/Qt5Gui.dll ${VELMORA_QT_BIN}/Qt5Widgets.dll
    ${VELMORA_QT_BIN}/Qt5Network.dll ${VELMORA_QT_BIN}/Qt5SerialPort.dll ${VELMORA_QT_BIN}/libmicrohttpd-12.dll
    ${VELMORA_QT_BIN}/libgcc_s_seh-1.dll ${VELMORA_QT_BIN}/libstdc++-6.dll ${VELMORA_QT_BIN}/libwinpthread-1.dll)

add_custom_target(velmora_windows_dist
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELMORA_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_DIST_DIR}/platforms ${VELMORA_DIST_DIR}/styles
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmora-flat> $<TARGET_FILE:velmora> ${VELMORA_DIST_DLLS}
        ${VELMORA_ITALIAN_QM} ${VELMORA_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${VELMORA_QT_PLUGINS}/platforms/qwindows.dll ${VELMORA_DIST_DIR}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy ${VELMORA_QT_PLUGINS}/styles/qwindowsvistastyle.dll ${VELMORA_DIST_DIR}/styles
    COMMAND ${CMAKE_STRIP} --strip-unneeded ${VELMORA_DIST_DIR}/velmora-flat.exe
        ${VELMORA_DIST_DIR}/$<TARGET_FILE_NAME:velmora> ${VELMORA_DIST_DIR}/libstdc++-6.dll
        ${VELMORA_DIST_DIR}/libgcc_s_seh-1.dll ${VELMORA_DIST_DIR}/libwinpthread-1.dll ${VELMORA_DIST_DIR}/libmicrohttpd-12.dll
    VERBATIM)
add_dependencies(velmora_windows_dist velmora-flat velmora velmora_translation)

find_program(MAKENSIS_EXECUTABLE makensis)
if(MAKENSIS_EXECUTABLE)
    set(VELMORA_INSTALLER ${PROJECT_BINARY_DIR}/velmora-flat-${VELMORA_WINDOWS_VERSION}-x64-setup.exe)
    add_custom_target(velmora_windows_installer
        COMMAND ${MAKENSIS_EXECUTABLE} -V2 -DVERSION=${VELMORA_WINDOWS_VERSION} -DFILEVERSION=${PROJECT_VERSION}
            -DDIST=${VELMORA_DIST_DIR} -DOUTFILE=${VELMORA_INSTALLER}
            -DICON=${VELMORA_PACKAGING_DIR}/windows/velmora-flat.ico
            ${VELMORA_PACKAGING_DIR}/windows/installer.nsi
        BYPRODUCTS ${VELMORA_INSTALLER}
        VERBATIM)
    add_dependencies(velmora_windows_installer velmora_windows_dist)
endif()

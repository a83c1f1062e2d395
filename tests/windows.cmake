# The suites that run on Windows, under wine64 when cross-built (tools/windows/test.sh runs them): the table,
# the configuration file, the window and its tabs, the themes and the translation, the box controller with the test
# doubles, the port listing and the Alpaca protocol. The device library, the Alpaca server and the lost box are
# tested on Windows end to end against the box simulator (tools/windows/test.sh).
set(VELMORA_TEST_AREAS shell connection advisor appearance remote)

# ctest starts each test program through wine64, with the toolchain's DLLs and the device library on WINEPATH and
# Qt's plugins on QT_PLUGIN_PATH. The Wine prefix is the caller's (WINEPREFIX).
function(velmora_windows_path out)
    set(paths)
    foreach(dir ${ARGN})
        string(REPLACE "/" "\\\\" dir "${dir}")
        list(APPEND paths "Z:${dir}")
    endforeach()
    list(JOIN paths ";" joined)
    set(${out} "${joined}" PARENT_SCOPE)
endfunction()
velmora_windows_path(wine_path ${VELMORA_MINGW_QT}/bin ${PROJECT_BINARY_DIR}/device/velmora
    ${PROJECT_BINARY_DIR}/tests/support)
velmora_windows_path(plugin_path ${VELMORA_MINGW_QT}/plugins)
set(VELMORA_WINE_RUN ${PROJECT_BINARY_DIR}/wine-run.sh)
# A Qt Test program without a console sends its log to the debugger's output, which Wine drops: the log goes to a
# file, shown when the test ends.
file(WRITE ${VELMORA_WINE_RUN} "#!/bin/sh
# Runs a Qt Test program of this build under wine64 and shows its log (made by tests/windows.cmake).
export WINEPATH=\"${wine_path}\"
export QT_PLUGIN_PATH=\"${plugin_path}\"
export WINEDEBUG=\${WINEDEBUG:--all}
log=\$(mktemp /tmp/velmora-test-XXXXXX.txt)
\${VELMORA_WINE:-/usr/lib/wine/wine64} \"\$@\" -o \"Z:\$(printf %s \"\$log\" | tr / '\\\\\\\\'),txt\"
status=\$?
cat \"\$log\"
rm -f \"\$log\"
exit \$status
")
file(CHMOD ${VELMORA_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE_RUN})

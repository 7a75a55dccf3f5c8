# A configuration utility with no display at all (DISPLAY, WAYLAND_DISPLAY and
# QT_QPA_PLATFORM unset): --help prints the usage and succeeds; --version prints
# the suite's version, then the title and version of Config.ini; a plain start
# says why it cannot open a window instead of aborting inside Qt. Run with
# -DPROGRAM=<program> -DNAME=<name>.
foreach(args "--help" "-h")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                            "${PROGRAM}" ${args}
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL 0 OR NOT out MATCHES "^Usage: ${NAME} " OR NOT out MATCHES "VNK_BROADCAST")
        message(FATAL_ERROR "${NAME} ${args}: exit status ${code}\n${out}${err}")
    endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${PROGRAM}" --version
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT out MATCHES "^${NAME} [0-9]+\\.[0-9]+\\.[0-9]+\nPrint Server Version 4.0\n$")
    message(FATAL_ERROR "${NAME} --version: exit status ${code}\n${out}${err}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${PROGRAM}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2 OR NOT err MATCHES "${NAME}: no display to open a window on")
    message(FATAL_ERROR "${NAME} without a display: exit status ${code}\n${out}${err}")
endif()

# Off screen, hollin without IPX says so and ends: no message box waits for a
# click that nobody can give.
if(NAME STREQUAL "hollin")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VNK_IPX_PORT QT_QPA_PLATFORM=offscreen "${PROGRAM}"
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
    if(NOT code EQUAL 2 OR NOT err MATCHES "hollin: [^\n]*VNK_IPX_PORT")
        message(FATAL_ERROR "hollin off screen without IPX: exit status ${code}\n${out}${err}")
    endif()
endif()

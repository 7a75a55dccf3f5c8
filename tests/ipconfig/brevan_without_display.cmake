# brevan with no display at all (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM
# unset): --help prints the usage and succeeds; a plain start says why it cannot
# open a window instead of aborting inside Qt. Run with -DBREVAN=<program>.
foreach(args "--help" "-h")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                            "${BREVAN}" ${args}
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL 0 OR NOT out MATCHES "^Usage: brevan " OR NOT out MATCHES "VNK_BROADCAST")
        message(FATAL_ERROR "brevan ${args}: exit status ${code}\n${out}${err}")
    endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${BREVAN}" --version
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT out MATCHES "^brevan: Print Server Version 4.0\n$")
    message(FATAL_ERROR "brevan --version: exit status ${code}\n${out}${err}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${BREVAN}"
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2 OR NOT err MATCHES "brevan: no display to open a window on")
    message(FATAL_ERROR "brevan without a display: exit status ${code}\n${out}${err}")
endif()

# vnksim as a user runs it: the help names every value form, --make-firmware
# takes the model code as vnkctl get prints it, and a directory given as the LAN
# description is refused by name. Run with -DVNKSIM=<program> -DWORK=<scratch dir>.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(expect what code out pattern)
    if(NOT code EQUAL ${ARGN})
        message(FATAL_ERROR "${what}: exit status ${code}, expected ${ARGN}\n${out}")
    endif()
    if(NOT out MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: output does not match '${pattern}':\n${out}")
    endif()
endfunction()

execute_process(COMMAND "${VNKSIM}" --help RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--help" "${code}" "${out}" "fault_ignore +commands separated by commas, each a name \\(reset, read, write" 0)
expect("--help" "${code}" "${out}" "firmware_order +sequential, shuffled or reverse" 0)

execute_process(COMMAND "${VNKSIM}" --make-firmware "${WORK}/fw.bin" --model 21
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--model 21" "${code}" "${out}" "model code 21, digits 15" 0)
file(READ "${WORK}/fw.bin" digits OFFSET 14 LIMIT 2 HEX)
if(NOT digits STREQUAL "3135")
    message(FATAL_ERROR "--model 21 wrote the digits ${digits} (hex of the bytes), expected 3135 (\"15\")")
endif()
file(SIZE "${WORK}/fw.bin" size)
if(NOT size EQUAL 524288)
    message(FATAL_ERROR "--make-firmware wrote ${size} bytes, expected 524288")
endif()

execute_process(COMMAND "${VNKSIM}" --make-firmware "${WORK}/bad.bin" --model 1A
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--model 1A" "${code}" "${out}" "--model takes the model code as vnkctl get prints it" 2)
if(EXISTS "${WORK}/bad.bin")
    message(FATAL_ERROR "--model 1A wrote a file")
endif()

execute_process(COMMAND "${VNKSIM}" --lan "${WORK}" --list RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--lan DIR" "${code}" "${out}" "vnksim: the LAN description .* is a directory" 2)

file(WRITE "${WORK}/lan.ini" "[a]\nmac = 00:11:22:33:44:55\nports = 300\n[b]\nmac = 00:11:22:33:44:55\n")
execute_process(COMMAND "${VNKSIM}" --lan "${WORK}/lan.ini" --list
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--lan with two mistakes" "${code}" "${out}"
       "vnksim: [^\n]*lan.ini:3: \\[a\\] ports: bad value \"300\"; expected a number 0-255\nvnksim: [^\n]*lan.ini:5: \\[b\\] mac: 00:11:22:33:44:55 is already the address of \\[a\\]" 2)

# A file it may not read: as root, the check runs as the user nobody when setpriv
# is there to make it so (root reads any file).
file(WRITE "${WORK}/locked.ini" "[a]\nmac = 00:11:22:33:44:55\n")
execute_process(COMMAND chmod 000 "${WORK}/locked.ini")
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
set(as_user)
if(uid STREQUAL "0")
    find_program(SETPRIV setpriv)
    if(SETPRIV)
        set(as_user "${SETPRIV}" --reuid=65534 --regid=65534 --clear-groups)
    endif()
endif()
if(NOT uid STREQUAL "0" OR as_user)
    execute_process(COMMAND ${as_user} "${VNKSIM}" --lan "${WORK}/locked.ini" --list
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    expect("--lan unreadable" "${code}" "${out}"
           "vnksim: cannot read the LAN description [^\n]*locked.ini: Permission denied" 2)
endif()

# The IPX side: the option and the file server keys are in the help, a file
# server's mistakes name their line, --list shows the server, and the start line
# names the carrier port.
execute_process(COMMAND "${VNKSIM}" --help RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--help ipx" "${code}" "${out}" "--ipx-port N +also be a virtual IPX segment" 0)
expect("--help ipx" "${code}" "${out}" "box_objects +boxes separated by commas" 0)
expect("--help ipx" "${code}" "${out}" "missing_objects +names as print_servers" 0)

file(WRITE "${WORK}/fs.ini" "[quill]\nmac = 00:00:B4:12:33:44\n[fs]\nkind = fileserver\nmac = 00:00:1B:00:00:01\n"
                            "box_objects = quill, heron\n")
execute_process(COMMAND "${VNKSIM}" --lan "${WORK}/fs.ini" --list RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--lan with an unknown box object" "${code}" "${out}"
       "vnksim: [^\n]*fs.ini:6: \\[fs\\] box_objects: \"heron\" names no box of this file" 2)
file(WRITE "${WORK}/fs.ini" "[quill]\nmac = 00:00:B4:12:33:44\n[fs]\nkind = fileserver\nmac = 00:00:1B:00:00:01\n"
                            "box_objects = quill:1448\nprint_servers = PS-A\n")
execute_process(COMMAND "${VNKSIM}" --lan "${WORK}/fs.ini" --list RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--lan with a file server" "${code}" "${out}" "fs +fs +00 00 1B 00 00 01  FS \\(network 00000000, 3 bindery objects\\)" 0)

# Port 0 is any free one: the run cannot collide with another program's port.
execute_process(COMMAND "${VNKSIM}" --demo --for 0.2 --port 0 --fw-port 0 --ipx-port 0
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("--ipx-port" "${code}" "${out}" "command port [1-9][0-9]*, firmware port [1-9][0-9]*, IPX carrier port [1-9][0-9]* \\(1 file server\\)" 0)

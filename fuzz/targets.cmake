# Every fuzz target: NAME.cpp here, its seeds in corpus/NAME. Each links the
# libraries below; only what it uses is pulled in.
set(VNK_FUZZ_TARGETS
    udp_replies       # discovery, search, configuration, status and printer status replies
    firmware          # firmware files and the boxes' block requests
    plugin_search     # the administration plug-in's search replies
    wizard_replies    # the setup wizard's compact replies and pserver.bin
    ipx_replies       # IPX packets and the IPX utility's replies
    netware           # SAP and NCP replies, and the file server's side of them
    netbios           # NetBIOS datagrams, names, and the wizard's NetBIOS replies
    sim_requests      # what a simulated box is sent, over UDP, IPX and NetBIOS
    config_ini        # Config.ini and every file read through the ini reader
    magicpkt_ini      # the batch Wake-on-LAN file
    registry_hive     # the registry hive of the state directory
    lan_description   # the simulated LAN's description file
    vnkctl_backup     # vnkctl backups and field assignments
    text_fields       # addresses, MAC texts and box texts typed or stored
)
foreach(name IN LISTS VNK_FUZZ_TARGETS)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
        vnk_fuzz_target(${name} vnk_cli vnk_sim vnk_transport vnk_netware_rules vnk_wizard_core vnk_wizard_rules
                        vnk_plugin_core vnk_rules vnk_spooler vnk_netbios vnk_protocol vnk_platform)
    endif()
endforeach()

// placeholder until the dhcp_rules land

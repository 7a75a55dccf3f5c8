// placeholder until the snmp_rules land

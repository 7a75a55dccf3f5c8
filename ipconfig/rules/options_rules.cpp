// placeholder until the options_rules land

// placeholder until the mail_rules land

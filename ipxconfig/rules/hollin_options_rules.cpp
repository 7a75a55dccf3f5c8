#include "ipxconfig/rules/hollin_options_rules.h"

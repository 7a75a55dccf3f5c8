#include "ipxconfig/rules/netware_rules.h"

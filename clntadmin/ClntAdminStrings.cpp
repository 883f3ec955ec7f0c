#include "ClntAdminStrings.h"

namespace wdx::clntadmin {

const wdx::common::TStringTable& ClntAdminStrings() {
    static const wdx::common::TStringTable table{
        {1001, "Corvanta Component Adapters"},
        {1002, "Client Administrator"},
        {1003, "Not yet implemented."},
        {1006, "Are you sure you want to delete this item?"},
        {1011, "&Add..."},
        {1012, "&Edit..."},
        {1013, "&Delete"},
        {1021, "OK"},
        {1022, "Cancel"},
        {1023, "&Close"},
        {1024, "&Add..."},
        {1025, "&Edit..."},
        {1026, "&Delete"},
        {1027, "&Help"},
        {1031, "General"},
        {1032, "Corvanta Component Brokers"},
        {1033, "New Corvanta Component Broker"},
        {1034, "Edit Corvanta Component Broker"},
        {1035, "Name"},
        {1036, "Host name"},
        {1037, "Port"},
        {1038, "Timeout"},
        {1039, "Type"},
        {1040, "Type of setting"},
        {1041, "Type:"},
        {1042, "Component Broker:"},
        {1043, "Host name:"},
        {1044, "Port number:"},
        {1045, "Timeout (s):"},
        {1046, "System"},
        {1047, "User"},
        {2001, "Cannot add Component Broker details."},
        {2002, "Cannot modify Component Broker details."},
        {2003, "Cannot delete Component Broker details."},
        {2004, "Invalid input."},
        {2005, "Cannot find help file:"},
        {2006, "Duplicate entry."},
        {2007, "Invalid entry: must be an integer."},
        {2008, "Cannot find online help: %s %d."},
    };
    return table;
}

} // namespace wdx::clntadmin

#pragma once
// Ids of the main program's string table.
#define IDS_MUTEX_NAME 128
#define IDS_RIGHTCLICK_VERB 322
#define IDS_ADMIN_REQUIRED 323
#define IDS_APP_NAME 57344

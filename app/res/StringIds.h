#pragma once
// Ids of the main program's string table (app/res/Strings.rc).
// Several texts are printf formats (%s, %d): fill them as formats, never pass
// registry or user text as the format itself.

// Start-up: single-instance mutex, application name, administrator check
#define IDS_MUTEX_NAME     128
#define IDS_ADMIN_REQUIRED 323
#define IDS_APP_NAME       57344

// Shell integration: verb of the right-click scan entry (also its registry key name)
#define IDS_RIGHTCLICK_VERB 322

// Main window: navigation items and caption links
#define IDS_NAV_SCAN       101
#define IDS_NAV_SCHEDULE   103
#define IDS_NAV_MANAGE     104
#define IDS_NAV_ABOUT      105
#define IDS_NAV_MONITOR    112
#define IDS_NAV_IGNORE     137
#define IDS_NAV_HISTORY    188
#define IDS_BANNER_HELP    302
#define IDS_BANNER_OPTIONS 303

// Main window: closing and exiting
#define IDS_CONFIRM_CLOSE_WITH_RESULTS 318
#define IDS_EXIT_BUTTONS               1132
#define IDS_EXIT_QUESTION              1133

// Tray icon: monitor menu item, tooltip and change balloon (string 128 is the tooltip without problems)
#define IDS_TRAY_STOP_MONITOR    127
#define IDS_TRAY_START_MONITOR   129
#define IDS_CHANGE_BALLOON_TEXT  140
#define IDS_CHANGE_BALLOON_TITLE 141
#define IDS_TRAY_PROBLEMS_TIP    269

// Home page: cue banner of the extension filter
#define IDS_FILTER_CUE 163

// Scanning and repair progress pages
#define IDS_CANCELLING 102

// Scan results page: status texts, descriptions, groups, heading and ignore
#define IDS_STATUS_OPENWITH_PROBLEM   106
#define IDS_STATUS_ASSOC_PROBLEM      107
#define IDS_STATUS_NEW_APP_REQUIRED   108
#define IDS_STATUS_NO_PROBLEMS        109
#define IDS_STATUS_MULTIPLE_PROBLEMS  110
#define IDS_DESC_NO_PROBLEMS          117
#define IDS_DESC_NEW_APP_REQUIRED     118
#define IDS_DESC_ASSOC_PROBLEM        119
#define IDS_DESC_OPENWITH_PROBLEM     120
#define IDS_DESC_MULTIPLE_PROBLEMS    121
#define IDS_GROUP_SEARCHED            126
#define IDS_IGNORE_LINK               130
#define IDS_CONFIRM_IGNORE            131
#define IDS_IGNORE_FAILED             132
#define IDS_GROUP_VALID               164
#define IDS_RESULTS_NO_PROBLEMS       224
#define IDS_RESULTS_PROBLEMS_DETECTED 225
#define IDS_GROUP_ITEM_COUNT          257
#define IDS_RESULTS_RECOMMEND_FIX     260
#define IDS_GROUP_COMMON_APP_REQUIRED 320
#define IDS_GROUP_PROBLEMS            321

// Repair results page: groups, row texts, headings and Find Software
#define IDS_FIXED_AND_NEEDED         111
#define IDS_SELECT_ITEM_TO_DOWNLOAD  113
#define IDS_GROUP_FIXED              115
#define IDS_GROUP_APP_REQUIRED       116
#define IDS_ROW_APP_NEEDED           122
#define IDS_ROW_FIXED                123
#define IDS_ROW_APP_NEEDED_INFO      124
#define IDS_ROW_FIXED_INFO           125
#define IDS_GROUP_SELECTED_COUNT     155
#define IDS_FIXED_ONLY               156
#define IDS_NEEDED_ONLY              174
#define IDS_NOTHING_FIXED_OR_NEEDED  175
#define IDS_SINGLE_EXTENSION_HEALTHY 182

// Extension details page: Next/Done and the browser control
#define IDS_DONE           114
#define IDS_NEXT           151
#define IDS_BROWSER_FAILED 190

// Manage page and Change Association dialog
#define IDS_MANAGE_INTRO     144
#define IDS_MANAGE_CHANGE    145
#define IDS_MANAGE_LOADING   147
#define IDS_SELECT_PROGRAM   149
#define IDS_CONFIRM_NEW_SCAN 169

// Monitor page
#define IDS_MONITOR_INTRO          139
#define IDS_MONITOR_REVERT         142
#define IDS_GROUP_DETECTED_CHANGES 143
#define IDS_MONITOR_NO_APP         150
#define IDS_MONITOR_ACCEPT         162

// Ignore page (string 186 is shared with the schedule page)
#define IDS_IGNORE_INTRO          133
#define IDS_NO_IGNORED_TO_REMOVE  135
#define IDS_SELECT_ITEM_TO_REMOVE 138
#define IDS_CONFIRM_REMOVE_ITEMS  186
#define IDS_CONFIRM_REMOVE_ALL    61203

// History page and the lines written to the history log
#define IDS_HISTORY_INTRO               170
#define IDS_HISTORY_EMPTY               171
#define IDS_CONFIRM_CLEAR_HISTORY       172
#define IDS_HISTORY_EXTENSION_FIXED     177
#define IDS_HISTORY_ACTION_CHANGED      178
#define IDS_HISTORY_ASSOCIATION_CHANGED 183

// Schedule page
#define IDS_SCHEDULE_INTRO       173
#define IDS_SCHEDULE_LIMIT       176
#define IDS_NO_SCHEDULES         180
#define IDS_SCHEDULE_EDIT_FAILED 181

// Message box: standard button and check box captions, default caption
#define IDS_XMB_ABORT           26001
#define IDS_XMB_CANCEL          26002
#define IDS_XMB_CONTINUE        26003
#define IDS_XMB_DONT_ASK_AGAIN  26004
#define IDS_XMB_DONT_SHOW_AGAIN 26005
#define IDS_XMB_HELP            26006
#define IDS_XMB_IGNORE          26007
#define IDS_XMB_IGNORE_ALL      26008
#define IDS_XMB_NO              26009
#define IDS_XMB_NO_TO_ALL       26010
#define IDS_XMB_OK              26011
#define IDS_XMB_REPORT          26012
#define IDS_XMB_RETRY           26013
#define IDS_XMB_SKIP            26014
#define IDS_XMB_SKIP_ALL        26015
#define IDS_XMB_TRY_AGAIN       26016
#define IDS_XMB_YES             26017
#define IDS_XMB_YES_TO_ALL      26018
#define IDS_XMB_DONT_TELL_AGAIN 26019
#define IDS_XMB_ERROR           26020

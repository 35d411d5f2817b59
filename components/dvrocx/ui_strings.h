// String ids of the control's own texts. The English table lives in
// DvrOcx.ocx itself; DvrOcxChs.dll and DvrOcxChn.dll carry the same ids in
// Simplified and in Traditional Chinese. Format strings take their arguments
// in the order given in the comment.
#pragma once

#define IDS_STATUS_IDLE 100               // no arguments
#define IDS_STATUS_CONNECTING 101         // host %s, port %u
#define IDS_STATUS_CONNECTED 102          // host %s, port %u
#define IDS_STATUS_FAILED 103             // host %s, port %u, reason %s, error %d
#define IDS_STATUS_CLOSED 104             // host %s, port %u
#define IDS_STATUS_INVALID 105            // address %s
#define IDS_STATUS_STREAM_CONNECTING 106  // stream URL %s
#define IDS_STATUS_STREAM_PLAYING 107     // stream URL %s

#define IDS_REASON_REFUSED 120
#define IDS_REASON_TIMEDOUT 121
#define IDS_REASON_HOSTUNREACH 122
#define IDS_REASON_NETUNREACH 123
#define IDS_REASON_ADDRNOTAVAIL 124
#define IDS_REASON_OTHER 125

#define IDS_PANE_LABEL 140  // channel number %d
#define IDS_NO_VIDEO 141
#define IDS_TILE_CONNECTING 142    // no arguments
#define IDS_TILE_PLAYING 143       // frames per second %d
#define IDS_TILE_AUTH_FAILED 144   // no arguments
#define IDS_TILE_NO_STREAM 145     // no arguments
#define IDS_TILE_RECONNECTING 146  // seconds %d
#define IDS_TILE_NO_DECODER 147    // no arguments
#define IDS_ABOUT_CAPTION 150
#define IDS_ABOUT_TEXT 151

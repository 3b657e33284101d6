#pragma once

// String resource id of the failure dialog's text (src/bin/tray/strings.rc).
// A macro, because the resource script includes this header too.
#define IDS_START_FAILED 5

#pragma once

// String resource id of the failure dialog's text, which
// src/bin/tray/languages.json gives in every language. A macro, because the
// resource script made from it includes this header too.
#define IDS_START_FAILED 5

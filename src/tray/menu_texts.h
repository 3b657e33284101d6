#pragma once

// String resource ids of the menu's texts, which src/bin/tray/languages.json
// gives in every language. Macros, because the resource script made from it
// includes this header too and the resource compiler understands nothing but
// the preprocessor.
#define IDS_OPEN_DASHBOARD 1
#define IDS_SHARE_MEDIA 2
#define IDS_STREAM_THIS_PC 3
#define IDS_QUIT 4

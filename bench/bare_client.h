#pragma once

// One GET /api/features on a fresh plain blocking socket to 127.0.0.1:port;
// true when a whole answer with a body came back.
bool bare_get_features(unsigned short port);

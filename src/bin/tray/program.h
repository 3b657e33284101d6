#pragma once

// The program's whole run from start-up to shutdown; returns the exit status.
int run_program();

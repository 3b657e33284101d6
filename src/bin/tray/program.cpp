#include "program.h"

#include "lifecycle/start_up.h"

int run_program() {
    if (lifecycle::start_up() != lifecycle::StartupOutcome::Ready) {
        return 0;
    }
    return 0;
}

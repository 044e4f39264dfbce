// Windows only. --close-tray: the tray copies on this desktop are asked to end, as their
// menu's exit does, so that an installer can replace or remove the program under them.
#pragma once

#include "app/service_command.h"

// COMMAND_DONE when every copy asked has ended, COMMAND_NOTHING_TO_DO when none ran,
// COMMAND_FAILED when one still runs after the wait (with a box unless command.quiet).
int CloseTrayCopies(const EntryCommand& command);

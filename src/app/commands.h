#pragma once

// Carry out a command of the tray menu; identifiers the program does not know are ignored.
void HandleCommand(unsigned command);

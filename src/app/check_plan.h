// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "--check-plan FILE": reads and checks a plan against the page as it opens, prints the report
// to standard output and returns the exit code: 0 clean, 1 faults found, 2 file not readable.
// Needs no window and no display.
int checkPlanCommand(const char* path);

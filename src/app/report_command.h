// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "--report PLAN": reads "<PLAN>.result.csv" (the plan itself need not be there), writes
// "<PLAN>.report.html" and "<PLAN>.report.csv" beside it and prints their paths and the summary.
// Returns 0 when written, 1 when they could not be written, 2 when the results file cannot be
// read. Needs no window and no display.
int reportCommand(const char* planPath);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// "--check-plan FILE": reads and checks a plan against the page as it opens, prints the report
// to standard output and returns the exit code: 0 clean, 1 faults found, 2 file not readable.
// Needs no window and no display.
// Warnings come first and leave the exit code as it is.
int checkPlanCommand(const char* path);

struct Plan;
// Numbers of the rows without faults that the packet would carry cut to their bits: an octet
// over 255, a port or device address outside 0 to 65535. One line each.
QStringList planWarnings(const Plan& plan);

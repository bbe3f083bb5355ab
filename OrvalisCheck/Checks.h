// The sections of the report, each as the deliverable in question would see
// this machine.
#ifndef ORVALISCHECK_CHECKS_H
#define ORVALISCHECK_CHECKS_H

#include <windows.h>

// The players key in this build's registry view, one line per value, the
// values that only the other view holds, and what OrvalisOpen would do;
// with `load` the chosen host is loaded to find its entry point. True when
// OrvalisOpen would reach a host.
bool CheckPlayers(bool load);

// The host path that the Tidewell.exe at `program` would load.
void CheckTidewell(const WCHAR* program);

// The data folder that Install would use and why, its Desktop.ini and the
// installation count.
void CheckSetup();

#endif

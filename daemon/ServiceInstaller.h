// Registering the service with the service manager, and removing it, from the
// command line: the administrator reads the outcome on the terminal (UTF-8), and
// the exit status is 0 only when every step succeeded.
#pragma once

int InstallService1(bool silent);
int UninstallService1(bool silent);

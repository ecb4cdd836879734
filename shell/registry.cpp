// Placeholder until registration is built.
#include "shell/shell.h"
int RegisterDocumentClasses(void) { return 0; }

// Placeholder until special folders are built.
#include "shell/shell.h"

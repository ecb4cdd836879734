// Placeholder until shortcuts are built.
#include "shell/shell.h"

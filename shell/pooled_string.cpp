// Placeholder until the pooled string is built.
#include "shell/pooled_string.h"

#pragma once

#include <cstdio>

// Whether the stream goes to a terminal, not to a file or a pipe.
bool isTerminal(FILE *stream);

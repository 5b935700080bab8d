#pragma once

// Runs this program in network and pid namespaces of its own, so that the
// fixed ports 800 and 1933 are real and free and nothing it starts outlives
// it. Returns -1 in the process that is to go on (inside the namespaces);
// any other value is the exit code the caller returns at once.
int enterPrivateNamespaces(int argc, char **argv);

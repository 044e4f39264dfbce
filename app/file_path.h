// The paths of the program's files: a name from the settings joined to the program's folder.
#pragma once

#include <cstddef>

// Joins the program's folder, a separator and a file name into a path of at most size - 1
// bytes, cutting what does not fit; false when it cut.
bool BuildPath(char* path, size_t size, const char* folder, const char* name);

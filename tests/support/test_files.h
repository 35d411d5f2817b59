// File helpers shared by the test and benchmark programs.
#pragma once

#include <string>

// Removes a folder with everything in it, read-only files included.
void RemoveTree(const std::string& dir);

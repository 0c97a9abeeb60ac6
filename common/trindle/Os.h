#pragma once
// Operating-system services used across the program, one header each: path
// texts, folders and files, the open-file dialog and the shell, events and
// waits.

#include "FileSystem.h"
#include "Path.h"
#include "Shell.h"
#include "Wait.h"

// <windows.h> for the Win32 implementations, without the A/W macros whose plain names the
// portable interfaces own (the implementations call the W functions by name).
#pragma once

#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef RemoveDirectory
#undef MoveFile
#undef ReplaceFile
#undef SetFileAttributes
#undef Yield

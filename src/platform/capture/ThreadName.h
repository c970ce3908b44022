#pragma once

// Names the calling thread, so that `top -H`, `ps -L` and a debugger show what
// runs. Linux keeps 15 characters; a longer name is cut there.
void setCurrentThreadName(const char* name);

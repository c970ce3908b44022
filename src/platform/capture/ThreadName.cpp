#include "ThreadName.h"

#include <cstring>
#include <pthread.h>

void setCurrentThreadName(const char* name) {
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    // Only fails for a name that is too long, which the copy rules out.
    pthread_setname_np(pthread_self(), shortName);
}

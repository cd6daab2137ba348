#pragma once

#include <pthread.h>

// Names the calling thread as top, ps -L and /proc/<pid>/task/<tid>/comm show it (at most 15
// characters), so the cost of each of the program's threads can be told apart.
inline void nameThisThread(const char* name) {
    ::pthread_setname_np(::pthread_self(), name);
}

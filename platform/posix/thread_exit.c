/* Ends a thread that the thread service did not start. It is C so that no
 * noexcept C++ frame of the library lies between it and the thread's start:
 * pthread_exit unwinds the stack, and unwinding through such a frame would
 * end the process instead of the thread. */
#include <pthread.h>

_Noreturn void vutil_exit_foreign_thread(void);

void vutil_exit_foreign_thread(void) { pthread_exit(0); }

#include "app/Main.h"

#include "board/hw.h"

// The command loop is not here yet: the board idles with its tick running.
void KM_main(void)
{
    for (;;)
        hw_wait();
}

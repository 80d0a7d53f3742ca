/* The few system hooks newlib needs on a board without an operating system.
 *
 * The firmware talks to its host through its own UART drivers, so the C
 * library's standard streams go nowhere: output is dropped, input is empty.
 * The heap is the 128 KB the linker script sets aside. */
#include <errno.h>
#include <stddef.h>
#include <sys/stat.h>

#undef errno
extern int errno;

/* Bounds of the heap, from the linker script. */
extern char __heap_start[];
extern char __heap_end[];

void *_sbrk(ptrdiff_t incr)
{
    static char *brk = __heap_start;
    if (incr > __heap_end - brk || incr < __heap_start - brk) {
        errno = ENOMEM;
        return (void *)-1;
    }
    char *old = brk;
    brk += incr;
    return old;
}

int _write(int fd, const void *buf, size_t len)
{
    (void)buf;
    if (fd == 1 || fd == 2)
        return (int)len;
    errno = EBADF;
    return -1;
}

int _read(int fd, void *buf, size_t len)
{
    (void)buf;
    (void)len;
    if (fd == 0)
        return 0;
    errno = EBADF;
    return -1;
}

int _close(int fd)
{
    (void)fd;
    errno = EBADF;
    return -1;
}

int _lseek(int fd, int offset, int whence)
{
    (void)fd;
    (void)offset;
    (void)whence;
    errno = ESPIPE;
    return -1;
}

int _fstat(int fd, struct stat *st)
{
    (void)fd;
    st->st_mode = S_IFCHR;
    return 0;
}

int _isatty(int fd)
{
    return fd >= 0 && fd <= 2;
}

void _exit(int status)
{
    (void)status;
    for (;;) {
    }
}

int _kill(int pid, int sig)
{
    (void)pid;
    (void)sig;
    errno = EINVAL;
    return -1;
}

int _getpid(void)
{
    return 1;
}

/* The C library runs these around the constructor tables; the runtime start
 * needs nothing from them. */
void _init(void) {}
void _fini(void) {}

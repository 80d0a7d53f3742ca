#include "storage/file_sys.h"

// No file system yet: a mount is always refused.
int initialize_media(void)
{
    return 0;
}

/* Stands in for a library named by a crafted data-source file: loading it leaves a mark, so a
   test can tell whether the driver manager ever loaded it. */
#include <stdio.h>
#include <stdlib.h>

__attribute__((constructor)) static void tabulonTrapLoaded(void)
{
    const char *marker = getenv("TABULON_TRAP_MARKER");
    if (marker) {
        FILE *f = fopen(marker, "w");
        if (f) {
            fputs("loaded\n", f);
            fclose(f);
        }
    }
}

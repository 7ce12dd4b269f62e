/* Whether the library loads its Qt host module from where it was installed,
 * and nothing graphical with it. Qt Core is loaded first, as in a Qt program
 * without windows; a poll on a pseudo-terminal that no terminal answers then
 * makes the library wait, and waiting is when it looks for the module. Prints
 * the module's path as mapped into this process.
 *   qthost_probe   (exit 0 when the module was loaded and no graphical
 *                   library or the window module came with it) */
#define _XOPEN_SOURCE 700
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <veska.h>

/* The first mapped file whose path holds `needle`, or null. */
static const char* mapped(const char* needle) {
    static char line[4096];
    const char* found = NULL;
    FILE* maps = fopen("/proc/self/maps", "r");
    if (maps == NULL) return NULL;
    while (found == NULL && fgets(line, sizeof line, maps) != NULL) {
        char* path = strchr(line, '/');
        if (path != NULL && strstr(path, needle) != NULL) found = path;
    }
    fclose(maps);
    return found;
}

int main(void) {
    LineSettings ls = {9600, 0, 1, 0, 0, 500, 1};
    int32_t handle = 0;
    int32_t r;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        perror("qthost_probe: pseudo-terminal");
        return 2;
    }
    if (dlopen("libQt6Core.so.6", RTLD_NOW | RTLD_GLOBAL) == NULL) {
        fprintf(stderr, "qthost_probe: %s\n", dlerror());
        return 2;
    }
    setenv("VESKA_COM7", ptsname(master), 1);
    r = Vsk_ComOpen(&handle, 7, 0, &ls);
    if (r != VSK_OK) {
        fprintf(stderr, "qthost_probe: opening the pseudo-terminal gave %d\n", (int)r);
        return 2;
    }
    r = Vsk_Polling(handle, "001", 100);
    Vsk_ComClose(handle);
    const char* module = mapped("/veska-qthost.so");
    if (module == NULL) {
        fprintf(stderr, "qthost_probe: the poll gave %d and no Qt host module was loaded\n",
                (int)r);
        return 1;
    }
    fputs(module, stdout);
    const char* graphical[] = {"/libQt6Gui.so", "/libQt6Widgets.so", "/veska-qtwindow.so"};
    for (size_t i = 0; i < sizeof graphical / sizeof graphical[0]; ++i) {
        const char* path = mapped(graphical[i]);
        if (path != NULL) {
            fprintf(stderr, "qthost_probe: a program without windows mapped %s", path);
            return 1;
        }
    }
    return 0;
}

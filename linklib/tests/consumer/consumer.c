/* A program outside the project that uses the installed library. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <veska.h>

int main(void) {
    LineSettings ls = {9600, 0, 1, 0, 0, 800, 3};
    int32_t handle = 0;
    char text[256];
    int32_t r;

    setenv("VESKA_COM7", "/dev/veska-consumer-no-such-port", 1);
    r = Vsk_ComOpen(&handle, 7, 0, &ls);
    memset(text, 0, sizeof text);
    printf("version %s: open gave %d, system error %d (%s)\n", VSK_VERSION_TEXT, r,
           Vsk_GetSysErrorMsg(text), text);
    return r == VSK_E_SYS_OPEN ? 0 : 1;
}

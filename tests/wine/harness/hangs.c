/* A Windows program that never ends, nor does the copy of itself it starts: the harness's own
 * test that the Wine session's watchdog ends a hung test with everything it started. It prints
 * "hanging" once the copy runs, then both sleep for ever. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 2) {
    char path[MAX_PATH];
    char command[MAX_PATH + 16];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    GetModuleFileNameA(NULL, path, sizeof path);
    snprintf(command, sizeof command, "\"%s\" child", path);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
      printf("hangs: cannot start the child (error %lu)\n", GetLastError());
      return 1;
    }
    printf("hanging\n");
    fflush(stdout);
  }
  Sleep(INFINITE);
  return 0;
}

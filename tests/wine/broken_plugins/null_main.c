/* A plug-in library whose `main` refuses every host: the host must report it, not crash. */
void* __cdecl nullMain(void* audioMaster) {
  (void)audioMaster;
  return 0;
}

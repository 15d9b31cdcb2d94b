/* A library that is no plug-in: it exports a function, but none named `main`. */
int __cdecl notAPlugin(void) { return 42; }

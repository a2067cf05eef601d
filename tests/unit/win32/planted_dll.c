/* A DLL that a test plants beside a program, under a name of its own. */
__declspec(dllexport) int EthBoxPlanted(void) {
    return 1;
}

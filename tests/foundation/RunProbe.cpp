// zdl_run_probe: the smallest program of a Windows tree. scripts/test-all.sh
// runs it once to learn whether this machine can run the tree's programs
// (an i686 one needs IA32 emulation in the kernel and 32-bit Wine).
#include <cstdio>

int main()
{
    std::puts(sizeof(void*) == 4 ? "zdl probe i686" : "zdl probe x86_64");
    return 0;
}
